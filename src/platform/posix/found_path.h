// Windows finds a file whatever the case its name is written in: a template
// "North.htm" serves the sign type "north", and a configured "C:\Vorlagen"
// names the folder "vorlagen". The linux build finds them the same way: each
// level of a path that the file system holds under another case is taken as
// it is named there. Folders are listed once per lookup and level at most;
// a listing is kept while the folder stays unchanged, or changed only by the
// run's own writes.
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

/// What the run itself did to an entry of a folder.
enum class OwnChange { Added, Removed };

/// Tells the kept listing of nativePath's folder (if there is one) that the
/// run has just added or removed that entry (a signature written, copied or
/// deleted), so that the folder is not listed again for the change it made
/// itself: the listing takes the name and the folder's identity after the
/// change. A change another program makes to the folder at the same moment,
/// within one tick of the file system's clock, is then not seen until the
/// folder changes again. Never fails.
void NoteOwnChange(const std::string& nativePath, OwnChange change);

}  // namespace qm::platform::posix
