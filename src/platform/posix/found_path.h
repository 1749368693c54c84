// Windows finds a file whatever the case its name is written in: a template
// "North.htm" serves the sign type "north", and a configured "C:\Vorlagen"
// names the folder "vorlagen". The linux build finds them the same way: each
// level of a path that the file system holds under another case is taken as
// it is named there. Folders are listed once per lookup and level at most;
// a listing is kept while the folder stays unchanged.
#pragma once

#include <string>

namespace qm::platform::posix {

/// The Linux path of a core path (ToNativePath) as Windows reads it: "." and
/// ".." taken from the path as written (a ".." after a missing level too),
/// each name without the dots and blanks at its end, and every level that
/// exists under another case written as the folder holds it. Where a folder holds
/// several names that differ in case only, the one that a Windows listing
/// gives first (text::ListedBefore); from the first level that does
/// not exist on, the path stays as written. A folder that cannot be listed
/// leaves its level as written. Never fails.
std::string FoundNativePath(const std::string& corePath);

}  // namespace qm::platform::posix
