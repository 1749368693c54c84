// Files and folders on Windows: the single-byte find, path and shell functions.
#include "platform/files.h"

#include <algorithm>
#include <vector>

#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/win32/win32.h"
// The shell headers need windows.h first.
#include <shellapi.h>
#include <shlwapi.h>

namespace qm::platform {
namespace {

long LastErrorToNumber(DWORD e, bool forWriting) {
  switch (e) {
    case ERROR_FILE_NOT_FOUND: return forWriting ? err::kPathNotFound : err::kFileNotFound;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH: return err::kPathNotFound;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT: return err::kPermissionDenied;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return err::kDiskFull;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: return err::kOutOfMemory;
    case ERROR_CRC:
    case ERROR_READ_FAULT:
    case ERROR_WRITE_FAULT:
    case ERROR_GEN_FAILURE: return err::kDeviceIo;
    default: return err::kPathFileAccess;
  }
}

[[noreturn]] void ThrowLastError(bool forWriting) {
  throw err::Make(LastErrorToNumber(GetLastError(), forWriting));
}

// SHFileOperationA with a double-NUL terminated source (and target) list.
int ShellOperation(UINT func, const std::string& from, const std::string* to, FILEOP_FLAGS flags) {
  std::string fromList = ToAnsi(from);
  fromList.append(2, '\0');
  std::string toList;
  if (to != nullptr) {
    toList = ToAnsi(*to);
    toList.append(2, '\0');
  }
  SHFILEOPSTRUCTA op{};
  op.hwnd = nullptr;
  op.wFunc = func;
  op.pFrom = fromList.c_str();
  op.pTo = to != nullptr ? toList.c_str() : nullptr;
  op.fFlags = flags;
  int result = SHFileOperationA(&op);
  if (result == 0 && op.fAnyOperationsAborted) result = ERROR_CANCELLED;
  return result;
}

}  // namespace

bool FindEntry(const std::string& path) {
  if (path.empty()) return false;
  WIN32_FIND_DATAA data{};
  win32::FindHandle find(FindFirstFileA(ToAnsi(path).c_str(), &data));
  return find.valid();
}

bool PathExists(const std::string& path) {
  return !path.empty() && PathFileExistsA(ToAnsi(path).c_str()) != FALSE;
}

bool CanOpenForReading(const std::string& path) {
  if (path.empty()) return false;
  win32::FileHandle file(CreateFileA(ToAnsi(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  return file.valid();
}

bool CreateFolder(const std::string& path) {
  return !path.empty() && CreateDirectoryA(ToAnsi(path).c_str(), nullptr) != FALSE;
}

std::vector<FolderEntry> ListFolder(const std::string& folder) {
  std::vector<FolderEntry> entries;
  WIN32_FIND_DATAA data{};
  win32::FindHandle find(FindFirstFileA(ToAnsi(folder + "*.*").c_str(), &data));
  if (!find.valid()) return entries;
  do {
    FolderEntry e;
    e.name = FromAnsi(data.cFileName);
    e.isDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    entries.push_back(std::move(e));
  } while (FindNextFileA(find.get(), &data));
  return entries;
}

int ShellCopy(const std::string& source, const std::string& destination) {
  return ShellOperation(FO_COPY, source, &destination, FOF_NOCONFIRMATION);
}

int ShellDelete(const std::string& path, bool toRecycleBin) {
  FILEOP_FLAGS flags = FOF_NOCONFIRMATION;
  if (toRecycleBin) flags |= FOF_ALLOWUNDO;
  return ShellOperation(FO_DELETE, path, nullptr, flags);
}

struct InputFile::Impl {
  win32::FileHandle file;
};

InputFile::InputFile(const std::string& path) : impl_(std::make_unique<Impl>()) {
  impl_->file = win32::FileHandle(CreateFileA(ToAnsi(path).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                              nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN,
                                              nullptr));
  if (!impl_->file.valid()) ThrowLastError(false);
}
InputFile::~InputFile() = default;
InputFile::InputFile(InputFile&&) noexcept = default;
InputFile& InputFile::operator=(InputFile&&) noexcept = default;

std::size_t InputFile::Read(char* buffer, std::size_t size) {
  DWORD got = 0;
  DWORD want = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
  if (!ReadFile(impl_->file.get(), buffer, want, &got, nullptr)) ThrowLastError(false);
  return got;
}

struct OutputFile::Impl {
  win32::FileHandle file;
};

OutputFile::OutputFile(const std::string& path, Mode mode) : impl_(std::make_unique<Impl>()) {
  const DWORD access = mode == Mode::Append ? FILE_APPEND_DATA : GENERIC_WRITE;
  const DWORD disposition = mode == Mode::Append ? OPEN_ALWAYS : CREATE_ALWAYS;
  impl_->file = win32::FileHandle(CreateFileA(ToAnsi(path).c_str(), access, FILE_SHARE_READ, nullptr,
                                              disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!impl_->file.valid()) ThrowLastError(true);
}
OutputFile::~OutputFile() = default;
OutputFile::OutputFile(OutputFile&&) noexcept = default;
OutputFile& OutputFile::operator=(OutputFile&&) noexcept = default;

void OutputFile::Write(std::string_view bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20));
    DWORD written = 0;
    if (!WriteFile(impl_->file.get(), bytes.data() + done, chunk, &written, nullptr)) ThrowLastError(true);
    if (written == 0) throw err::Make(err::kDiskFull);
    done += written;
  }
}

void OutputFile::Close() {
  if (!impl_ || !impl_->file.valid()) return;
  impl_->file.Reset();
}

}  // namespace qm::platform
