// clsFileLib: the file object of the run.
#include "support/clsFileLib.h"

#include "platform/files.h"

namespace qm {

bool clsFileLib::Exists() const {
  try {
    return platform::CanOpenForReading(FileName);
  } catch (...) {
    return false;
  }
}

void clsFileLib::RaiseIfInUse() const {
  if (platform::InUseByAnotherProgram(FileName)) throw platform::InUseError(FileName);
}

bool clsFileLib::FileDelete(int mode, const std::string& fileName, bool /*confirm*/, int /*passes*/) {
  const std::string& file = fileName.empty() ? FileName : fileName;
  try {
    return platform::ShellDelete(file, mode == kDeleteToRecycleBin) == 0;
  } catch (...) {
    return false;
  }
}

bool clsFileLib::FileCopy(const std::string& destination, const std::string& fileName) {
  const std::string& source = fileName.empty() ? FileName : fileName;
  try {
    return platform::ShellCopy(source, destination) == 0;
  } catch (...) {
    return false;
  }
}

}  // namespace qm
