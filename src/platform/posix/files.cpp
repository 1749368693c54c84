// POSIX files and folders. The recycle bin is the freedesktop.org Trash (GIO),
// so a file removed in mode 1 can be restored from the desktop's trash.
#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <gio/gio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/error.h"
#include "platform/paths.h"

namespace qm::platform {
namespace {

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

bool StatPath(const std::string& corePath, struct stat& st) {
  if (corePath.empty()) return false;
  return ::stat(ToNativePath(corePath).c_str(), &st) == 0;
}

}  // namespace

bool FindEntry(const std::string& path) {
  struct stat st{};
  std::string native = ToNativePath(path);
  // FindFirstFileA finds no entry for a name with a trailing separator.
  if (native.empty() || native.back() == '/') return false;
  return ::lstat(native.c_str(), &st) == 0;
}

bool PathExists(const std::string& path) {
  struct stat st{};
  return StatPath(path, st);
}

bool CanOpenForReading(const std::string& path) {
  if (path.empty()) return false;
  int fd = ::open(ToNativePath(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat st{};
  bool ok = ::fstat(fd, &st) == 0 && !S_ISDIR(st.st_mode);
  ::close(fd);
  return ok;
}

bool CreateFolder(const std::string& path) {
  return !path.empty() && ::mkdir(ToNativePath(path).c_str(), 0777) == 0;
}

std::vector<FolderEntry> ListFolder(const std::string& folder) {
  std::vector<FolderEntry> entries;
  std::string native = ToNativePath(folder);
  if (native.empty()) native = ".";
  DIR* dir = ::opendir(native.c_str());
  if (dir == nullptr) return entries;
  if (native.back() != '/') native += '/';
  while (dirent* d = ::readdir(dir)) {
    FolderEntry e;
    e.name = d->d_name;
    struct stat st{};
    e.isDirectory = ::stat((native + e.name).c_str(), &st) == 0 ? S_ISDIR(st.st_mode)
                                                               : d->d_type == DT_DIR;
    entries.push_back(std::move(e));
  }
  ::closedir(dir);
  return entries;
}

int ShellCopy(const std::string& source, const std::string& destination) {
  int in = ::open(ToNativePath(source).c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return 1026;  // what the shell answers for a missing source
  struct stat st{};
  if (::fstat(in, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(in);
    return 1026;
  }
  int out = ::open(ToNativePath(destination).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC,
                   st.st_mode & 0777);
  if (out < 0) {
    ::close(in);
    return 5;  // access denied
  }
  std::vector<char> buf(1 << 16);
  int result = 0;
  for (;;) {
    ssize_t n = ::read(in, buf.data(), buf.size());
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      result = 1026;
      break;
    }
    for (ssize_t done = 0; done < n;) {
      ssize_t w = ::write(out, buf.data() + done, static_cast<size_t>(n - done));
      if (w < 0) {
        if (errno == EINTR) continue;
        result = 112;  // disk full
        break;
      }
      done += w;
    }
    if (result != 0) break;
  }
  ::close(in);
  if (::close(out) != 0 && result == 0) result = 112;
  return result;
}

int ShellDelete(const std::string& path, bool toRecycleBin) {
  const std::string native = ToNativePath(path);
  if (toRecycleBin) {
    GFile* file = g_file_new_for_path(native.c_str());
    GError* error = nullptr;
    gboolean ok = g_file_trash(file, nullptr, &error);
    if (error != nullptr) g_error_free(error);
    g_object_unref(file);
    return ok ? 0 : 1026;
  }
  return ::unlink(native.c_str()) == 0 ? 0 : 1026;
}

struct InputFile::Impl {
  int fd = -1;
  ~Impl() {
    if (fd >= 0) ::close(fd);
  }
};

InputFile::InputFile(const std::string& path) : impl_(std::make_unique<Impl>()) {
  const std::string native = ToNativePath(path);
  impl_->fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC);
  if (impl_->fd < 0) {
    const int e = errno;
    if (e == ENOENT && !ParentFolderExists(native)) throw err::Make(err::kPathNotFound);
    Throw(e, true, false);
  }
  struct stat st{};
  if (::fstat(impl_->fd, &st) == 0 && S_ISDIR(st.st_mode)) throw err::Make(err::kPathFileAccess);
}
InputFile::~InputFile() = default;
InputFile::InputFile(InputFile&&) noexcept = default;
InputFile& InputFile::operator=(InputFile&&) noexcept = default;

std::size_t InputFile::Read(char* buffer, std::size_t size) {
  for (;;) {
    ssize_t n = ::read(impl_->fd, buffer, size);
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno != EINTR) Throw(errno, false, false);
  }
}

struct OutputFile::Impl {
  int fd = -1;
  ~Impl() {
    if (fd >= 0) ::close(fd);
  }
};

OutputFile::OutputFile(const std::string& path, Mode mode) : impl_(std::make_unique<Impl>()) {
  int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (mode == Mode::Append ? O_APPEND : O_TRUNC);
  impl_->fd = ::open(ToNativePath(path).c_str(), flags, 0666);
  if (impl_->fd < 0) Throw(errno, true, true);
}
OutputFile::~OutputFile() = default;
OutputFile::OutputFile(OutputFile&&) noexcept = default;
OutputFile& OutputFile::operator=(OutputFile&&) noexcept = default;

void OutputFile::Write(std::string_view bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t w = ::write(impl_->fd, bytes.data() + done, bytes.size() - done);
    if (w < 0) {
      if (errno == EINTR) continue;
      Throw(errno, false, true);
    }
    done += static_cast<size_t>(w);
  }
}

void OutputFile::Close() {
  if (!impl_ || impl_->fd < 0) return;
  int fd = impl_->fd;
  impl_->fd = -1;
  if (::close(fd) != 0) Throw(errno, false, true);
}

}  // namespace qm::platform
