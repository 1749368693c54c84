// clsFileLib: one file of the file system, named by FileName.
#pragma once

#include <string>

namespace qm {

class clsFileLib {
 public:
  std::string FileName;

  /// True when FileName can be opened for reading (it is closed at once).
  bool Exists() const;

  /// Mode 1: to the recycle bin; 0 and every other mode: deleted for good.
  /// True when the shell operation succeeded. confirm and passes have no effect.
  bool FileDelete(int mode, const std::string& fileName = "", bool confirm = false, int passes = 0);

  /// Copies the file (fileName, or FileName when empty) to destination,
  /// overwriting it. True when the shell operation succeeded.
  bool FileCopy(const std::string& destination, const std::string& fileName = "");
};

}  // namespace qm
