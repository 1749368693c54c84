// Paths found without regard to case, as Windows finds them.
#include "platform/posix/found_path.h"

#include <dirent.h>
#include <sys/stat.h>

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/common/text.h"
#include "platform/paths.h"
#include "platform/posix/replace_file.h"
#include "platform/posix/unique_fd.h"

namespace qm::platform::posix {
namespace {

// Listings kept at once; a lookup seldom goes through more folders than this.
constexpr std::size_t kKeptListings = 64;

// A folder's entries by their upper-case forms, each form with the entry a
// Windows lookup finds. Names that are not UTF-8 have no case and are left out.
struct Listing {
  FileIdentity identity;
  timespec listedAt{};
  std::map<std::u16string, std::string> byUpper;
  bool caseTwins = false;  // two entries differ in case only: a removal needs a new listing
  bool ownChange = false;  // identity is the folder's after the run's own change
};

// Most names are ASCII, whose capitals need no tables.
std::u16string Upper(const std::string& name) {
  std::u16string upper;
  upper.reserve(name.size());
  for (const char c : name) {
    if (static_cast<unsigned char>(c) >= 0x80)
      return text::MapCase(text::Utf8ToUtf16(name), text::Case::Upper);
    upper += static_cast<char16_t>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  }
  return upper;
}

FileIdentity IdentityOf(const struct stat& st) {
  return {st.st_dev, st.st_ino, st.st_size, st.st_mtim};
}

// The listing of a folder; nullptr when it cannot be listed. A listing is used again while the folder keeps its identity and was
// last changed before the listing was made (a change within the same tick of
// the file system's clock would keep the time stamp).
const Listing* Listed(const std::string& folder, std::map<std::string, Listing>& kept) {
  struct stat st {};
  if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return nullptr;
  const FileIdentity identity = IdentityOf(st);
  const auto it = kept.find(folder);
  if (it != kept.end() && it->second.identity == identity &&
      (it->second.ownChange || identity.SettledBefore(it->second.listedAt)))
    return &it->second;
  Listing listing{identity, FileClockNow(), {}};
  UniqueDir dir(::opendir(folder.c_str()));
  if (!dir) return nullptr;
  while (const dirent* d = ::readdir(dir.get())) {
    const std::string name = d->d_name;
    if (name == "." || name == ".." || !text::IsValidUtf8(name)) continue;
    const auto [entry, added] = listing.byUpper.try_emplace(Upper(name), name);
    if (added) continue;
    listing.caseTwins = true;
    if (text::ListedBefore(name, entry->second)) entry->second = name;
  }
  if (kept.size() >= kKeptListings) kept.clear();
  Listing& stored = kept[folder];
  stored = std::move(listing);
  return &stored;
}

// The entry of the listing that a Windows lookup of name finds; name itself
// when none equals it without regard to case (a name that is not UTF-8 has no
// case and is found as written only).
std::optional<std::string> Found(const Listing& listing, const std::string& name) {
  if (!text::IsValidUtf8(name)) return std::nullopt;
  const auto it = listing.byUpper.find(Upper(name));
  if (it == listing.byUpper.end()) return std::nullopt;
  return it->second;
}

// The listings kept, by the folder as a lookup names it (with its trailing
// "/", "." for the current folder), and the lock that guards them.
std::mutex keptMutex;
std::map<std::string, Listing> kept;

// Windows reads a name without the dots and blanks at its end ("standard.htm."
// is standard.htm, "Vorlagen " the folder Vorlagen); a name of nothing else
// ("...") stays.
std::string WithoutTrailingDotsAndBlanks(const std::string& name) {
  const std::size_t end = name.find_last_not_of(". ");
  return end == std::string::npos ? name : name.substr(0, end + 1);
}

std::string Joined(bool absolute, const std::vector<std::string>& levels) {
  std::string path = absolute ? "/" : "";
  for (std::size_t i = 0; i < levels.size(); ++i) {
    if (i > 0) path += '/';
    path += levels[i];
  }
  return path;
}

// The folder part of an absolute path as written, with the folder a lookup
// found for it and that folder's device and inode: a path below the same
// folder part looks up only its last name while the folder found is still the
// same folder (a program writing many files into few folders, an audit's
// users, does not walk every level each time).
struct FoundFolder {
  std::string found;
  dev_t device = 0;
  ino_t inode = 0;
};
std::map<std::string, FoundFolder> foundFolders;
constexpr std::size_t kKeptFolders = 4096;

bool SameFolder(const Listing& listing, const FoundFolder& folder) {
  return listing.identity.device == folder.device && listing.identity.inode == folder.inode;
}

}  // namespace

std::string FoundNativePath(const std::string& corePath) {
  const std::string native = ToNativePath(corePath);
  if (native.empty()) return native;
  std::lock_guard<std::mutex> lock(keptMutex);

  // A folder's path often ends in "/" (a folder about to be made, listed or
  // removed): its last level is the name before it.
  const std::size_t lastChar = native.find_last_not_of('/');
  const bool endsInSlash = lastChar != std::string::npos && lastChar + 1 < native.size();
  const std::string trailing = endsInSlash ? "/" : "";
  const std::size_t slash =
      lastChar == std::string::npos ? std::string::npos : native.rfind('/', lastChar);
  const bool cacheable = native[0] == '/' && slash != std::string::npos && slash > 0;
  const std::string folderPart = cacheable ? native.substr(0, slash) : std::string();
  const std::string lastLevel =
      cacheable ? native.substr(slash + 1, lastChar - slash) : std::string();
  if (cacheable && lastLevel != "." && lastLevel != "..") {
    const auto known = foundFolders.find(folderPart);
    if (known != foundFolders.end()) {
      const std::string folder = known->second.found + "/";
      const Listing* listing = Listed(folder, kept);
      if (listing != nullptr && SameFolder(*listing, known->second)) {
        const std::string name = WithoutTrailingDotsAndBlanks(lastLevel);
        return folder + Found(*listing, name).value_or(name) + trailing;
      }
      foundFolders.erase(known);
    }
  }

  // Windows takes ".." and "." from the path as written, before it looks at
  // the file system: "a\fehlt\..\b" is "a\b" whether or not "fehlt" exists,
  // and ".." of a link is the folder that holds the link.
  const bool absolute = native[0] == '/';
  std::vector<std::string> levels;
  std::vector<bool> missing;  // per level: it does not exist (nor does any below it)
  for (std::size_t begin = 0; begin <= native.size();) {
    std::size_t end = native.find('/', begin);
    if (end == std::string::npos) end = native.size();
    const std::string level = native.substr(begin, end - begin);
    begin = end + 1;
    if (level.empty() || level == ".") continue;
    if (level == "..") {
      if (!levels.empty() && levels.back() != "..") {
        levels.pop_back();
        missing.pop_back();
      } else if (!absolute) {
        levels.push_back(level);
        missing.push_back(false);
      }
      continue;
    }
    const std::string name = WithoutTrailingDotsAndBlanks(level);
    if (!missing.empty() && missing.back()) {
      levels.push_back(name);
      missing.push_back(true);
      continue;
    }
    // Named as NoteOwnChange names it: with its trailing "/".
    const std::string folder = levels.empty() ? (absolute ? "/" : ".") : Joined(absolute, levels) + "/";
    const Listing* listing = Listed(folder, kept);
    const std::optional<std::string> listed = listing != nullptr ? Found(*listing, name) : std::nullopt;
    levels.push_back(listed.value_or(name));
    // A name the listing holds exists; another (not UTF-8) may still.
    struct stat st {};
    missing.push_back(listing != nullptr && !listed && ::lstat(Joined(absolute, levels).c_str(), &st) != 0);
  }
  std::string found = Joined(absolute, levels);
  if (found.empty()) return ".";
  // The folder of the last level, found and existing: kept for the next path below it.
  if (cacheable && lastLevel != "." && lastLevel != ".." && levels.size() >= 2 && !missing[missing.size() - 2]) {
    const std::vector<std::string> above(levels.begin(), levels.end() - 1);
    const std::string folder = Joined(absolute, above);
    if (const Listing* listing = Listed(folder + "/", kept)) {
      if (foundFolders.size() >= kKeptFolders) foundFolders.clear();
      foundFolders[folderPart] = FoundFolder{folder, listing->identity.device, listing->identity.inode};
    }
  }
  if (native.back() == '/' && found.back() != '/') found += '/';
  return found;
}

void NoteOwnChange(const std::string& nativePath, OwnChange change) {
  const std::size_t slash = nativePath.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : nativePath.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? nativePath : nativePath.substr(slash + 1);
  std::lock_guard<std::mutex> lock(keptMutex);
  const auto it = kept.find(folder);
  if (it == kept.end()) return;
  Listing& listing = it->second;
  struct stat st {};
  // Only a listing that was current before the change may take it.
  const bool current = listing.ownChange || listing.identity.SettledBefore(listing.listedAt);
  if (!current || name.empty() || !text::IsValidUtf8(name) || ::stat(folder.c_str(), &st) != 0 ||
      (change == OwnChange::Removed && listing.caseTwins)) {
    kept.erase(it);
    return;
  }
  const std::u16string upper = Upper(name);
  if (change == OwnChange::Added) {
    const auto [entry, added] = listing.byUpper.try_emplace(upper, name);
    if (!added && entry->second != name) {
      listing.caseTwins = true;
      if (text::ListedBefore(name, entry->second)) entry->second = name;
    }
  } else {
    listing.byUpper.erase(upper);
  }
  listing.identity = IdentityOf(st);
  listing.ownChange = true;
}

}  // namespace qm::platform::posix
