// POSIX files and folders. The recycle bin is the freedesktop.org Trash (GIO),
// so a file removed in mode 1 can be restored from the desktop's trash. Paths
// are found without regard to case, as Windows finds them (found_path.h).
#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <gio/gio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <ctime>
#include <thread>
#include <utility>
#include <vector>

#include "platform/codepage.h"
#include "platform/common/file_io.h"
#include "platform/common/unique_handle.h"
#include "platform/error.h"
#include "platform/posix/found_path.h"
#include "platform/posix/unique_fd.h"

namespace qm::platform {
namespace {

using posix::FoundNativePath;
using posix::NoteOwnChange;
using posix::OwnChange;
using posix::UniqueDir;
using posix::UniqueFd;

// What SHFileOperation answers for the failures a POSIX copy or delete meets:
// 0x402 is its answer for a missing source (and most else), the other two are
// the Windows error numbers.
constexpr int kShellUnknownError = 1026;
constexpr int kShellAccessDenied = 5;
constexpr int kShellDiskFull = 112;
constexpr size_t kCopyBufferSize = 1 << 16;

long ErrnoToNumber(int e, bool opening, bool forWriting) {
  switch (e) {
    case ENOENT: return opening && forWriting ? err::kPathNotFound : err::kFileNotFound;
    case ENOTDIR: return err::kPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY: return err::kPermissionDenied;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return err::kDiskFull;
    case EIO: return err::kDeviceIo;
    case ENOMEM: return err::kOutOfMemory;
    default: return err::kPathFileAccess;
  }
}

[[noreturn]] void Throw(int e, bool opening, bool forWriting) {
  throw err::Make(ErrnoToNumber(e, opening, forWriting));
}

// Windows tells a file that is missing from a folder that is missing.
bool ParentFolderExists(const std::string& native) {
  const size_t slash = native.find_last_of('/');
  if (slash == std::string::npos) return true;
  struct stat st{};
  return ::stat(slash == 0 ? "/" : native.substr(0, slash).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// What opening a file for the run gives: the descriptor, or why there is none.
struct Opened {
  UniqueFd fd;
  int error = 0;          // errno of the failed call
  bool notAFile = false;  // the path names a folder, a FIFO, a device or a socket
};

// Only a regular file is opened. A FIFO without a writer would keep open() and
// every read waiting for good, and a device such as /dev/zero never ends: the
// open does not wait (O_NONBLOCK), the descriptor is checked, and only then is
// O_NONBLOCK cleared, so that reads and writes wait as they do for any file.
// F_SETFL changes the status flags only (O_APPEND, O_NONBLOCK …) and leaves
// the access mode and what the open itself did alone: the flags of the open
// are the ones to keep.
Opened OpenRegularFile(const std::string& native, int flags, mode_t mode = 0) {
  Opened opened;
  opened.fd = UniqueFd(::open(native.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, mode));
  if (!opened.fd.valid()) {
    opened.error = errno;
    return opened;
  }
  struct stat st{};
  if (::fstat(opened.fd.get(), &st) != 0) {
    opened.error = errno;
  } else if (!S_ISREG(st.st_mode)) {
    opened.notAFile = true;
  } else if (::fcntl(opened.fd.get(), F_SETFL, flags & ~O_NONBLOCK) == -1) {
    opened.error = errno;
  }
  if (opened.error != 0 || opened.notAFile) opened.fd.Reset();
  return opened;
}

// A path whose last name is a Windows device (aux.htm): no file, and no
// template either (on Windows, opening it reads the device).
bool NamesDevice(const std::string& corePath) {
  const std::size_t slash = corePath.find_last_of("\\/");
  return IsDeviceName(slash == std::string::npos ? corePath : corePath.substr(slash + 1));
}

bool StatPath(const std::string& corePath, struct stat& st) {
  if (corePath.empty()) return false;
  return ::stat(FoundNativePath(corePath).c_str(), &st) == 0;
}

}  // namespace

bool FindEntry(const std::string& path) {
  struct stat st{};
  std::string native = FoundNativePath(path);
  // FindFirstFileA finds no entry for a name with a trailing separator.
  if (native.empty() || native.back() == '/') return false;
  return ::lstat(native.c_str(), &st) == 0;
}

bool PathExists(const std::string& path) {
  struct stat st{};
  return StatPath(path, st);
}

namespace {
constexpr ::mode_t kWriteBits = S_IWUSR | S_IWGRP | S_IWOTH;
constexpr std::int64_t kTicksPerSecond = 10000000;
constexpr std::int64_t kNanosecondsPerTick = 100;

std::int64_t Ticks(const timespec& t) {
  return static_cast<std::int64_t>(t.tv_sec) * kTicksPerSecond + t.tv_nsec / kNanosecondsPerTick;
}
}  // namespace

bool SetReadOnly(const std::string& path, bool readOnly) {
  const std::string native = FoundNativePath(path);
  struct stat st{};
  if (native.empty() || ::stat(native.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  const ::mode_t mode = readOnly ? st.st_mode & ~kWriteBits : st.st_mode | S_IWUSR;
  return ::chmod(native.c_str(), mode & 07777) == 0;
}

bool IsReadOnly(const std::string& path) {
  const std::string native = FoundNativePath(path);
  struct stat st{};
  return !native.empty() && ::stat(native.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & kWriteBits) == 0;
}

std::optional<std::int64_t> LastWriteTicks(const std::string& path) {
  const std::string native = FoundNativePath(path);
  struct stat st{};
  if (native.empty() || ::stat(native.c_str(), &st) != 0) return std::nullopt;
  return Ticks(st.st_mtim);
}

std::int64_t FileClockTicks() {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  return Ticks(now);
}

bool CanOpenForReading(const std::string& path) {
  if (path.empty() || NamesDevice(path)) return false;
  UniqueFd fd(::open(FoundNativePath(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  struct stat st{};
  return fd.valid() && ::fstat(fd.get(), &st) == 0 && !S_ISDIR(st.st_mode);
}

// Linux has no mandatory locks: an open file is never refused to a reader.
bool InUseByAnotherProgram(const std::string&) { return false; }

bool CreateFolder(const std::string& path) {
  if (path.empty()) return false;
  const std::string native = FoundNativePath(path);
  if (::mkdir(native.c_str(), 0777) != 0) return false;
  NoteOwnChange(native, OwnChange::Added);
  return true;
}

std::vector<FolderEntry> ListFolder(const std::string& folder) {
  std::vector<FolderEntry> entries;
  std::string native = FoundNativePath(folder);
  if (native.empty()) native = ".";
  UniqueDir dir(::opendir(native.c_str()));
  if (!dir) return entries;
  if (native.back() != '/') native += '/';
  while (dirent* d = ::readdir(dir.get())) {
    FolderEntry e;
    e.name = d->d_name;
    // As on Windows, a name the ANSI code page cannot hold is marked.
    e.ansiName = FromAnsi(ToAnsi(e.name)) == e.name;
    struct stat st{};
    e.isDirectory = ::stat((native + e.name).c_str(), &st) == 0 ? S_ISDIR(st.st_mode)
                                                               : d->d_type == DT_DIR;
    entries.push_back(std::move(e));
  }
  return entries;
}

int ShellCopy(const std::string& source, const std::string& destination) {
  UniqueFd in = OpenRegularFile(FoundNativePath(source), O_RDONLY).fd;
  struct stat st{};
  if (!in.valid() || ::fstat(in.get(), &st) != 0) return kShellUnknownError;
  const int flags = O_WRONLY | O_CREAT | O_TRUNC;
  const std::string target = FoundNativePath(destination);
  UniqueFd out = OpenRegularFile(target, flags, st.st_mode & 0777).fd;
  if (!out.valid()) return kShellAccessDenied;
  NoteOwnChange(target, OwnChange::Added);
  std::vector<char> buf(kCopyBufferSize);
  int result = 0;
  for (;;) {
    ssize_t n = ::read(in.get(), buf.data(), buf.size());
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      result = kShellUnknownError;
      break;
    }
    for (ssize_t done = 0; done < n;) {
      ssize_t w = ::write(out.get(), buf.data() + done, static_cast<size_t>(n - done));
      if (w < 0) {
        if (errno == EINTR) continue;
        result = kShellDiskFull;
        break;
      }
      done += w;
    }
    if (result != 0) break;
  }
  if (!out.Close() && result == 0) result = kShellDiskFull;
  return result;
}

int ShellDelete(const std::string& path, bool toRecycleBin) {
  const std::string native = FoundNativePath(path);
  if (toRecycleBin) {
    Owned<GFile, g_object_unref> file(g_file_new_for_path(native.c_str()));
    GError* rawError = nullptr;
    const gboolean ok = g_file_trash(file.get(), nullptr, &rawError);
    Owned<GError, g_error_free> error(rawError);
    if (!ok) return kShellUnknownError;
  } else if (::unlink(native.c_str()) != 0) {
    return errno == EACCES || errno == EPERM || errno == EROFS ? kShellAccessDenied : kShellUnknownError;
  }
  NoteOwnChange(native, OwnChange::Removed);
  return 0;
}

namespace {

// The byte whose lock is an appender's turn: where the windows build locks
// it, far beyond the end of any log, so that the lock keeps nobody from
// reading or writing the text.
constexpr off_t kTurnByte = off_t{0x7FFFFFFF} << 32;
// Another appender's turn is waited for this long at most, in these steps.
constexpr auto kTurnWait = std::chrono::seconds(2);
constexpr auto kTurnPause = std::chrono::milliseconds(20);

struct flock TurnByte(short type) {
  struct flock byte{};
  byte.l_type = type;
  byte.l_whence = SEEK_SET;
  byte.l_start = kTurnByte;
  byte.l_len = 1;
  return byte;
}

// Waits, for kTurnWait at most, until this appender's turn. After that time
// the entry is written all the same; a line among others is better than
// none. True when the lock is held.
bool TakeAppendTurn(int fd) {
  const auto giveUp = std::chrono::steady_clock::now() + kTurnWait;
  for (;;) {
    struct flock lock = TurnByte(F_WRLCK);
    if (::fcntl(fd, F_OFD_SETLK, &lock) == 0) return true;
    // Only another appender's turn is waited for; a file system without locks is written at once.
    const bool held = errno == EAGAIN || errno == EACCES;
    if ((!held && errno != EINTR) || std::chrono::steady_clock::now() >= giveUp) return false;
    std::this_thread::sleep_for(kTurnPause);
  }
}

}  // namespace

namespace native {

File OpenForReading(const std::string& path) {
  if (NamesDevice(path)) throw err::Make(err::kPathFileAccess);
  const std::string native = FoundNativePath(path);
  Opened opened = OpenRegularFile(native, O_RDONLY);
  if (opened.notAFile) throw err::Make(err::kPathFileAccess);
  if (!opened.fd.valid()) {
    if (opened.error == ENOENT && !ParentFolderExists(native)) throw err::Make(err::kPathNotFound);
    Throw(opened.error, true, false);
  }
  return std::move(opened.fd);
}

namespace {

// A file opened for writing with flags, created when missing; the folder's
// kept listing learns of it. A FIFO without a reader refuses the open (ENXIO)
// instead of waiting for one.
File OpenToWrite(const std::string& path, int flags) {
  if (NamesDevice(path)) throw err::Make(err::kPathFileAccess);
  const std::string native = FoundNativePath(path);
  Opened opened = OpenRegularFile(native, O_WRONLY | O_CREAT | flags, 0666);
  if (opened.notAFile) throw err::Make(err::kPathFileAccess);
  if (!opened.fd.valid()) Throw(opened.error, true, true);
  NoteOwnChange(native, OwnChange::Added);
  return std::move(opened.fd);
}

}  // namespace

File OpenForWriting(const std::string& path) { return OpenToWrite(path, O_TRUNC); }

// Appending as the windows build appends: O_APPEND puts every write at the
// end, and appenders take turns through a lock on the same byte far beyond
// the end (an open file description's lock, which like Windows' belongs to
// the open file, not to the process), so that on a share each finds the end
// as it stands in its turn.
AppendingFile OpenForAppending(const std::string& path) {
  AppendingFile appending{OpenToWrite(path, O_APPEND), false};
  appending.turn = TakeAppendTurn(appending.file.get());
  if (::lseek(appending.file.get(), 0, SEEK_END) < 0) {
    const int error = errno;
    if (appending.turn) EndAppendTurn(appending.file);
    Throw(error, false, true);
  }
  return appending;
}

void EndAppendTurn(const File& file) {
  // A lock that cannot be released here goes with the close.
  struct flock unlock = TurnByte(F_UNLCK);
  static_cast<void>(::fcntl(file.get(), F_OFD_SETLK, &unlock));
}

void CreateFolder(const std::string& path) {
  const std::string native = FoundNativePath(path);
  if (::mkdir(native.c_str(), 0777) != 0) Throw(errno, true, true);
  NoteOwnChange(native, OwnChange::Added);
}

std::size_t ReadSome(const File& file, char* buffer, std::size_t size) {
  for (;;) {
    const ssize_t n = ::read(file.get(), buffer, size);
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno != EINTR) Throw(errno, false, false);
  }
}

std::size_t WriteSome(const File& file, std::string_view bytes) {
  for (;;) {
    const ssize_t w = ::write(file.get(), bytes.data(), bytes.size());
    if (w >= 0) return static_cast<std::size_t>(w);
    if (errno != EINTR) Throw(errno, false, true);
  }
}

void Close(File& file) {
  if (!file.Close()) Throw(errno, false, true);
}

}  // namespace native
}  // namespace qm::platform
