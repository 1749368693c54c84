// Files the POSIX stand-ins read whole and replace whole: the registry file and
// profile (INI) files. Reading never blocks and never runs without end: only a
// regular file is read, at most up to a limit (a FIFO named as configuration
// file used to hang the run for good, /dev/zero to read until memory ran out).
// Writing is one read-change-save under a lock against every other writer that
// comes this way, replacing the file atomically while keeping its owner, group
// and mode, and writing through a symbolic link to the file it names.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/posix/unique_fd.h"

namespace qm::platform::posix {

/// What tells one version of a file from another without reading it.
struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  timespec modified{};

  /// True when all four are equal.
  bool operator==(const FileIdentity& other) const;
  /// True when the file was last changed before `moment` (a FileClockNow()
  /// value): a change made from `moment` on gets a later time stamp, so an
  /// unchanged identity then means unchanged bytes. A change within the same
  /// tick of the file system's clock can keep size and time stamp.
  bool SettledBefore(const timespec& moment) const;
};

/// The clock the file system stamps changes with (coarser than the real time).
/// Never fails.
timespec FileClockNow();

/// A regular file opened for reading, or why there is none.
class OpenedFile {
 public:
  enum class Status {
    Opened,    ///< a regular file, open
    Missing,   ///< nothing of that name (its folder may be missing too)
    Unusable,  ///< a FIFO, device or folder, or no access: a file that cannot be opened
  };

  /// Opens path (a native path) without blocking and without following a
  /// FIFO or device; never fails otherwise than through status().
  static OpenedFile Open(const std::string& path);

  /// Never fails.
  Status status() const { return status_; }
  /// Owner, group, mode and identity of the open file (zeros unless Opened).
  const struct stat& Stat() const { return stat_; }
  /// The identity of the open file (zeros unless Opened).
  FileIdentity Identity() const;
  /// True when the open file, named path, can be written by this process and
  /// has a write permission bit (so root too leaves a read-only file alone);
  /// false when it is not open.
  bool Writable(const std::string& path) const;
  /// The whole content read from its start; nullopt when the file is not
  /// open, holds more than limit bytes or a read fails.
  std::optional<std::string> ReadAll(std::size_t limit) const;
  /// True when the open file holds exactly bytes (read and compared piece by
  /// piece); false when it differs or cannot be read.
  bool Holds(std::string_view bytes) const;

 private:
  friend std::optional<FileIdentity> UpdateFile(
      const std::string& path,
      const std::function<std::optional<std::string_view>(const OpenedFile&)>& change);

  Status status_ = Status::Missing;
  UniqueFd fd_;
  struct stat stat_ {};
};

/// Reads, changes and replaces the file at path (a native path) as one step
/// against every other writer that comes this way. Symbolic links are followed
/// to the file they name; that file (or, while it does not exist, its folder)
/// is locked; temporaries that a killed writer left beside it are removed.
/// change gets the file as it is now (status Missing when there is none) and
/// returns the new content (which must stay valid until UpdateFile returns),
/// or nullopt to leave the file as it is; exceptions it throws pass through
/// (the lock is released). The new content replaces the file atomically and
/// keeps its owner, group and mode.
/// Returns the identity of the file written; nullopt when nothing was written:
/// the file cannot be opened, is no regular file or is read-only, the lock was
/// not granted within a few seconds, change returned nullopt, or the file could
/// not be replaced (the old one then stays as it was).
std::optional<FileIdentity> UpdateFile(
    const std::string& path,
    const std::function<std::optional<std::string_view>(const OpenedFile&)>& change);

}  // namespace qm::platform::posix
