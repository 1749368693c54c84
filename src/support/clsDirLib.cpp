// clsDirLib: the directory object of the run.
#include "support/clsDirLib.h"

#include "platform/error.h"
#include "platform/files.h"
#include "platform/window.h"
#include "support/Like.h"
#include "support/modTools.h"

namespace qm {

bool clsDirLib::Exists() const {
  try {
    if (Path.empty()) return false;
    if (platform::FindEntry(Path)) return true;
    return platform::PathExists(Path);
  } catch (...) {
    return false;
  }
}

void clsDirLib::Create(std::string& path) {
  if (path.empty()) path = Path;
  if (path.empty()) throw Error(100, "DirectoryObject", "No path set");
  platform::CreateFolder(path);
}

void clsDirLib::Create() {
  std::string path;
  Create(path);
}

void clsDirLib::CreatePath() {
  if (Path.empty()) throw Error(100, "DirectoryObject", "No path set");
  platform::CreateFolderPath(Path);
}

int clsDirLib::GetFilesInFolder(std::vector<std::string>& fileList, const std::string& extension,
                                const std::string& folder, bool& /*descend*/, int& count) {
  std::string dir = folder.empty() ? Path : folder;
  auto grow = [&fileList, &count] {
    if (fileList.empty() || static_cast<size_t>(count) >= fileList.size() - 1)
      fileList.resize(fileList.size() + 100);
  };
  grow();
  // Pending events of the progress window, if there is one, are processed once.
  if (platform::window::Exists()) platform::window::ProcessPendingEvents();
  dir = AddBackslash(dir);
  const std::string wanted = ToUpper(extension);
  int added = 0;
  UnusableNames.clear();
  for (const platform::FolderEntry& entry : platform::ListFolder(dir)) {
    if (entry.isDirectory) continue;
    std::string name = entry.name.substr(0, entry.name.find('\0'));
    bool take = extension == "*";
    if (!take) {
      if (name.size() >= wanted.size()) {
        take = Like(ToUpper(name.substr(name.size() - wanted.size())), wanted);
      }
    }
    if (!take) continue;
    if (!entry.ansiName) {
      UnusableNames.push_back(name);
      continue;
    }
    fileList[static_cast<size_t>(count)] = name;
    ++count;
    ++added;
    grow();
  }
  return added;
}

}  // namespace qm
