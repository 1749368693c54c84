// clsFileLib: the file object of the run.
#include "support/clsFileLib.h"

#include <exception>
#include <vector>

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

namespace {

// The shell names a file held by another program with a code that does not
// say which one (or not at all); asking the files themselves names it.
std::string Reason(int result, const std::vector<const std::string*>& files) {
  for (const std::string* file : files) {
    if (platform::InUseByAnotherProgram(*file)) return platform::InUseError(*file).Description();
  }
  return platform::ShellResultText(result);
}

}  // namespace

bool clsFileLib::FileDelete(int mode, const std::string& fileName, bool /*confirm*/, int /*passes*/) {
  const std::string& file = fileName.empty() ? FileName : fileName;
  LastFailure.clear();
  try {
    const int result = platform::ShellDelete(file, mode == kDeleteToRecycleBin);
    if (result != 0) {
      LastFailure = Reason(result, {&file});
    } else if (platform::PathExists(file)) {
      // The shell may answer 0 for an operation it gave up without a word
      // (Wine's for a file on a read-only file system): the file is still there.
      LastFailure = "Die Datei ist noch vorhanden";
    }
    return LastFailure.empty();
  } catch (const std::exception& e) {
    LastFailure = e.what();
    return false;
  }
}

bool clsFileLib::FileCopy(const std::string& destination, const std::string& fileName) {
  const std::string& source = fileName.empty() ? FileName : fileName;
  LastFailure.clear();
  try {
    const int result = platform::ShellCopy(source, destination);
    if (result != 0) LastFailure = Reason(result, {&source, &destination});
    return result == 0;
  } catch (const std::exception& e) {
    LastFailure = e.what();
    return false;
  }
}

}  // namespace qm
