// clsDirLib: one folder of the file system, named by Path.
#pragma once

#include <string>
#include <vector>

namespace qm {

class clsDirLib {
 public:
  std::string Path;

  /// True for an existing folder (with or without trailing backslash) or file.
  bool Exists() const;

  /// Creates the folder (path, or Path when path is empty; path then receives
  /// Path). Only the last level; a failure is not reported. Raises error 100
  /// "No path set" when both are empty.
  void Create(std::string& path);
  void Create();

  /// Creates Path with every level above it that is missing. Raises the file
  /// system's error for a level that cannot be created; error 100 "No path
  /// set" when Path is empty.
  void CreatePath();

  /// Adds the names of the files directly in folder (Path when empty) whose
  /// names end in extension ("" or "*" takes every file) to fileList from
  /// position count on, growing it by 100 empty entries as needed. Returns the
  /// number of names added. Pending window events are processed once. A name
  /// that the ANSI code page cannot hold is not added but put in
  /// UnusableNames: every later copy or delete would name another file.
  int GetFilesInFolder(std::vector<std::string>& fileList, const std::string& extension,
                       const std::string& folder, bool& descend, int& count);

  /// The names the last GetFilesInFolder left out, in listing order.
  std::vector<std::string> UnusableNames;
};

}  // namespace qm
