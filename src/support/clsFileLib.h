// clsFileLib: one file of the file system, named by FileName.
#pragma once

#include <string>

namespace qm {

/// Delete modes of FileDelete. (The overwriting modes 2 and 3 are not offered.)
inline constexpr int kDeleteForGood = 0;
inline constexpr int kDeleteToRecycleBin = 1;

class clsFileLib {
 public:
  std::string FileName;

  /// Why the last FileDelete or FileCopy failed, in German, naming the file
  /// another program holds where that is the cause; empty after one that
  /// succeeded.
  std::string LastFailure;

  /// True when FileName can be opened for reading (it is closed at once).
  bool Exists() const;

  /// Raises the file system's error 70 naming FileName when it does not open
  /// because another program holds it without sharing: such a file is there,
  /// and saying it is missing would send the administrator looking in vain.
  void RaiseIfInUse() const;

  /// kDeleteToRecycleBin: to the recycle bin; every other mode: deleted for good.
  /// True when the shell operation succeeded. confirm and passes have no effect.
  bool FileDelete(int mode, const std::string& fileName = "", bool confirm = false, int passes = 0);

  /// Copies the file (fileName, or FileName when empty) to destination,
  /// overwriting it. True when the shell operation succeeded.
  bool FileCopy(const std::string& destination, const std::string& fileName = "");
};

}  // namespace qm
