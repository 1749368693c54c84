// Whole-file reads and atomic replacement for the POSIX stand-ins (see replace_file.h).
#include "platform/posix/replace_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <system_error>
#include <thread>
#include <vector>

namespace qm::platform::posix {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

/// How long a writer waits for the one before it. A write holds the lock for
/// one read-change-save (milliseconds, a second for a very large registry
/// file); after this a write is given up rather than the run hung.
constexpr auto kLockWait = std::chrono::seconds(10);
constexpr auto kLockPoll = std::chrono::milliseconds(2);
/// As many links as the kernel follows before it reports a loop.
constexpr int kMaxLinkHops = 40;
constexpr std::size_t kReadChunk = 64 * 1024;
constexpr int kTempNameAttempts = 100;
/// Temporaries are named <file>.quillmark-tmp-<pid>-<n>: one per writer, so
/// that overlapping runs never write into each other's. Older versions used
/// <file>.quillmark-tmp, which the prefix covers too.
constexpr const char* kTempInfix = ".quillmark-tmp";
constexpr mode_t kPermissionBits = 07777;
constexpr mode_t kAnyWriteBit = S_IWUSR | S_IWGRP | S_IWOTH;
constexpr mode_t kNewFileMode = 0666;      // less the umask, as any new file
constexpr mode_t kTempBeforeChmod = 0600;  // never readable by others while being written

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

/// The file that path finally names: its symbolic links followed (a link
/// whose target is missing names that missing target).
std::string FinalTarget(const std::string& path) {
  fs::path p = path;
  for (int hop = 0; hop < kMaxLinkHops; ++hop) {
    std::error_code ec;
    if (!fs::is_symlink(fs::symlink_status(p, ec))) break;
    const fs::path next = fs::read_symlink(p, ec);
    if (ec) break;
    p = next.is_absolute() ? next : p.parent_path() / next;
  }
  return p.string();
}

std::string FolderOf(const std::string& path) {
  const fs::path folder = fs::path(path).parent_path();
  return folder.empty() ? "." : folder.string();
}

/// Takes the exclusive lock on fd, trying until deadline. A file system that
/// has no locks at all (some network mounts) is written without, as before.
bool LockBefore(int fd, Clock::time_point deadline) {
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK) return true;
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(kLockPoll);
  }
}

/// Only the lock holder writes a temporary, so one found under the lock was
/// left by a writer that was killed.
void RemoveStaleTemporaries(const std::string& target) {
  const std::string prefix = fs::path(target).filename().string() + kTempInfix;
  std::error_code ec;
  std::vector<fs::path> stale;
  for (fs::directory_iterator it(FolderOf(target), ec), end; !ec && it != end; it.increment(ec)) {
    if (it->path().filename().string().starts_with(prefix)) stale.push_back(it->path());
  }
  for (const fs::path& p : stale) fs::remove(p, ec);
}

/// A temporary file that is removed unless it was renamed into place.
class Temporary {
 public:
  explicit Temporary(std::string path) : path_(std::move(path)) {}
  ~Temporary() {
    if (!path_.empty()) ::unlink(path_.c_str());
  }
  Temporary(const Temporary&) = delete;
  Temporary& operator=(const Temporary&) = delete;
  bool RenameTo(const std::string& target) {
    if (::rename(path_.c_str(), target.c_str()) != 0) return false;
    path_.clear();
    return true;
  }

 private:
  std::string path_;
};

/// Writes bytes to a new temporary beside target and renames it over target:
/// a reader sees the old file or the new one, never a part. existing is the
/// file replaced (nullptr when there is none), whose owner, group and mode the
/// new one takes.
std::optional<FileIdentity> Replace(const std::string& target, std::string_view bytes,
                                    const struct stat* existing) {
  static unsigned counter = 0;
  std::string name;
  UniqueFd fd;
  for (int attempt = 0; attempt < kTempNameAttempts && !fd.valid(); ++attempt) {
    name = target + kTempInfix + "-" + std::to_string(::getpid()) + "-" + std::to_string(++counter);
    fd = UniqueFd(::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                         existing != nullptr ? kTempBeforeChmod : kNewFileMode));
    if (!fd.valid() && errno != EEXIST) return std::nullopt;
  }
  if (!fd.valid()) return std::nullopt;
  Temporary temporary(name);
  if (!WriteAll(fd.get(), bytes)) return std::nullopt;
  if (existing != nullptr) {
    // chown first: it clears the set-user-ID and set-group-ID bits that chmod sets.
    struct stat now {};
    if (::fstat(fd.get(), &now) != 0) return std::nullopt;
    if ((now.st_uid != existing->st_uid || now.st_gid != existing->st_gid) &&
        ::fchown(fd.get(), existing->st_uid, existing->st_gid) != 0) {
      return std::nullopt;  // a file that would change hands is left as it is
    }
    if (::fchmod(fd.get(), existing->st_mode & kPermissionBits) != 0) return std::nullopt;
  }
  // The data must be on disk before the name points at it, or a crash leaves an empty file.
  if (::fdatasync(fd.get()) != 0) return std::nullopt;
  struct stat written {};
  if (::fstat(fd.get(), &written) != 0) return std::nullopt;
  if (!fd.Close()) return std::nullopt;
  if (!temporary.RenameTo(target)) return std::nullopt;
  FileIdentity identity{written.st_dev, written.st_ino, written.st_size, written.st_mtim};
  return identity;
}

}  // namespace

bool FileIdentity::operator==(const FileIdentity& other) const {
  return device == other.device && inode == other.inode && size == other.size &&
         modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec;
}

bool FileIdentity::SettledBefore(const timespec& moment) const {
  return modified.tv_sec < moment.tv_sec ||
         (modified.tv_sec == moment.tv_sec && modified.tv_nsec < moment.tv_nsec);
}

timespec FileClockNow() {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
  return now;
}

OpenedFile OpenedFile::Open(const std::string& path) {
  OpenedFile file;
  // Looked at before it is opened: opening a device can have effects of its
  // own, and opening a FIFO waits for a writer.
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    file.status_ = errno == ENOENT ? Status::Missing : Status::Unusable;
    return file;
  }
  file.status_ = Status::Unusable;
  if (!S_ISREG(st.st_mode)) return file;
  // O_NONBLOCK in case it was swapped for a FIFO in between.
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!fd.valid()) {
    if (errno == ENOENT) file.status_ = Status::Missing;
    return file;
  }
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return file;
  file.status_ = Status::Opened;
  file.fd_ = std::move(fd);
  file.stat_ = st;
  return file;
}

FileIdentity OpenedFile::Identity() const {
  return FileIdentity{stat_.st_dev, stat_.st_ino, stat_.st_size, stat_.st_mtim};
}

bool OpenedFile::Writable(const std::string& path) const {
  return status_ == Status::Opened && (stat_.st_mode & kAnyWriteBit) != 0 &&
         ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
}

std::optional<std::string> OpenedFile::ReadAll(std::size_t limit) const {
  if (status_ != Status::Opened) return std::nullopt;
  std::string bytes;
  bytes.reserve(std::min(static_cast<std::size_t>(stat_.st_size), limit));
  std::vector<char> chunk(kReadChunk);
  for (;;) {
    const ssize_t n =
        ::pread(fd_.get(), chunk.data(), chunk.size(), static_cast<off_t>(bytes.size()));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::nullopt;
    if (n == 0) return bytes;
    if (bytes.size() + static_cast<std::size_t>(n) > limit) return std::nullopt;
    bytes.append(chunk.data(), static_cast<std::size_t>(n));
  }
}

bool OpenedFile::Holds(std::string_view bytes) const {
  if (status_ != Status::Opened || static_cast<std::size_t>(stat_.st_size) != bytes.size())
    return false;
  std::vector<char> chunk(kReadChunk);
  for (std::size_t at = 0;;) {
    const ssize_t n = ::pread(fd_.get(), chunk.data(), chunk.size(), static_cast<off_t>(at));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return at == bytes.size();
    if (at + static_cast<std::size_t>(n) > bytes.size() ||
        bytes.substr(at, static_cast<std::size_t>(n)) !=
            std::string_view(chunk.data(), static_cast<std::size_t>(n))) {
      return false;
    }
    at += static_cast<std::size_t>(n);
  }
}

std::optional<FileIdentity> UpdateFile(
    const std::string& path,
    const std::function<std::optional<std::string_view>(const OpenedFile&)>& change) {
  const std::string target = FinalTarget(path);
  const auto deadline = Clock::now() + kLockWait;
  while (Clock::now() < deadline) {
    OpenedFile file = OpenedFile::Open(target);
    if (file.status() == OpenedFile::Status::Unusable) return std::nullopt;
    // A file is locked itself; while there is none, its folder stands in, so
    // that two first writers do not both create it.
    const bool missing = file.status() == OpenedFile::Status::Missing;
    UniqueFd folder;
    if (missing) {
      folder = UniqueFd(::open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
      if (!folder.valid()) return std::nullopt;
    }
    if (!LockBefore(missing ? folder.get() : file.fd_.get(), deadline)) return std::nullopt;
    // The writer before us may have replaced the file (or created it) while we waited.
    struct stat now {};
    const bool unchanged = missing
                               ? ::stat(target.c_str(), &now) != 0 && errno == ENOENT
                               : ::stat(target.c_str(), &now) == 0 && SameFile(now, file.stat_) &&
                                     ::fstat(file.fd_.get(), &file.stat_) == 0;
    if (!unchanged) continue;
    RemoveStaleTemporaries(target);
    if (!missing && !file.Writable(target)) return std::nullopt;
    const std::optional<std::string_view> bytes = change(file);
    if (!bytes) return std::nullopt;
    return Replace(target, *bytes, missing ? nullptr : &file.stat_);
  }
  return std::nullopt;
}

}  // namespace qm::platform::posix
