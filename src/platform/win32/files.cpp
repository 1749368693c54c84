// Files and folders on Windows: the single-byte path and shell functions, the
// folder listing through the wide find functions (to tell names that the ANSI
// code page cannot hold), and files shared with the programs that hold them.
#include "platform/files.h"

#include <algorithm>
#include <vector>

#include "platform/codepage.h"
#include "platform/common/file_io.h"
#include "platform/error.h"
#include "platform/win32/win32.h"
// The shell headers need windows.h first.
#include <shellapi.h>
#include <shlwapi.h>

namespace qm::platform {
namespace {

// ReadFile takes a 32-bit count; a gigabyte at a time stays clear of its limits.
constexpr std::size_t kLargestTransfer = std::size_t{1} << 30;
// Writes go out a mebibyte at a time.
constexpr std::size_t kWriteChunk = std::size_t{1} << 20;
// A log file on a share is appended to by the PCs of many users at once. A
// program that holds it without sharing (an editor, a backup, an older
// version of this one) refuses the open; it is tried again for this long.
constexpr ULONGLONG kSharingRetryMilliseconds = 2000;
constexpr DWORD kSharingRetryPauseMilliseconds = 20;
// Appenders take turns through a lock on one byte far beyond the end of any
// log file, so that the lock keeps nobody from reading or writing the text.
constexpr DWORD kTurnByteOffsetHigh = 0x7FFFFFFF;
constexpr DWORD kTurnByteOffsetLow = 0;
// Files are read sharing read, write and delete: Word keeps an open document
// writable, and a template an administrator has open on the share must still
// be read at every user's logon. The log is shared the same way, so that a
// rotation script can rename it while PCs append.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Shell file operations never show a window: no progress, no confirmation, and
// above all no error dialog ("File In Use", "You need permission") that would
// hold a logon behind other windows until someone clicks. What fails stays as
// it is and the operation says so in its result.
constexpr FILEOP_FLAGS kNoUserInterface = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_NOCONFIRMMKDIR;

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

// A file that another program holds without sharing is not missing: the error
// names it and says why.
[[noreturn]] void ThrowInUse(const std::string& path) { throw InUseError(path); }

// True when the name comes back from the ANSI code page as it is: a name with
// a character the code page lacks would reach the single-byte functions as a
// look-alike or "?", naming another file or, in a copy or delete, a wildcard.
bool HoldsInAnsi(const wchar_t* name) {
  const int length = static_cast<int>(wcslen(name));
  if (length == 0) return true;
  const int bytes = WideCharToMultiByte(CP_ACP, 0, name, length, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return false;
  std::string ansi(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_ACP, 0, name, length, ansi.data(), bytes, nullptr, nullptr);
  const int units = MultiByteToWideChar(CP_ACP, 0, ansi.data(), bytes, nullptr, 0);
  if (units != length) return false;
  std::wstring back(static_cast<size_t>(units), L'\0');
  MultiByteToWideChar(CP_ACP, 0, ansi.data(), bytes, back.data(), units);
  return back == name;
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

namespace {
std::int64_t Ticks(const FILETIME& t) {
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
}
}  // namespace

bool SetReadOnly(const std::string& path, bool readOnly) {
  if (path.empty()) return false;
  const std::string ansi = ToAnsi(path);
  const DWORD attributes = GetFileAttributesA(ansi.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return false;
  const DWORD changed = readOnly ? attributes | FILE_ATTRIBUTE_READONLY : attributes & ~DWORD{FILE_ATTRIBUTE_READONLY};
  // FILE_ATTRIBUTE_NORMAL stands alone: with no other attribute left it is the one to set.
  return SetFileAttributesA(ansi.c_str(), changed == 0 ? FILE_ATTRIBUTE_NORMAL : changed) != FALSE;
}

bool IsReadOnly(const std::string& path) {
  if (path.empty()) return false;
  const DWORD attributes = GetFileAttributesA(ToAnsi(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
         (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

std::optional<std::int64_t> LastWriteTicks(const std::string& path) {
  if (path.empty()) return std::nullopt;
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExA(ToAnsi(path).c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
  return Ticks(data.ftLastWriteTime);
}

std::int64_t FileClockTicks() {
  FILETIME now{};
  GetSystemTimeAsFileTime(&now);
  return Ticks(now);
}

bool CanOpenForReading(const std::string& path) {
  if (path.empty()) return false;
  win32::FileHandle file(CreateFileA(ToAnsi(path).c_str(), GENERIC_READ, kShareAll, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  return file.valid();
}

bool InUseByAnotherProgram(const std::string& path) {
  if (path.empty()) return false;
  win32::FileHandle file(CreateFileA(ToAnsi(path).c_str(), GENERIC_READ, kShareAll, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  return !file.valid() && GetLastError() == ERROR_SHARING_VIOLATION;
}

bool CreateFolder(const std::string& path) {
  return !path.empty() && CreateDirectoryA(ToAnsi(path).c_str(), nullptr) != FALSE;
}

std::vector<FolderEntry> ListFolder(const std::string& folder) {
  std::vector<FolderEntry> entries;
  WIN32_FIND_DATAW data{};
  win32::FindHandle find(FindFirstFileW(win32::Widen(folder + "*.*").c_str(), &data));
  if (!find.valid()) return entries;
  do {
    FolderEntry e;
    e.name = win32::Narrow(data.cFileName);
    e.isDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    e.ansiName = HoldsInAnsi(data.cFileName);
    entries.push_back(std::move(e));
  } while (FindNextFileW(find.get(), &data));
  return entries;
}

int ShellCopy(const std::string& source, const std::string& destination) {
  return ShellOperation(FO_COPY, source, &destination, kNoUserInterface);
}

int ShellDelete(const std::string& path, bool toRecycleBin) {
  // What cannot go to the recycle bin (a file on a share) is deleted for good,
  // without the warning that would ask first.
  FILEOP_FLAGS flags = kNoUserInterface;
  if (toRecycleBin) flags |= FOF_ALLOWUNDO;
  return ShellOperation(FO_DELETE, path, nullptr, flags);
}

namespace native {

File OpenForReading(const std::string& path) {
  File file(CreateFileA(ToAnsi(path).c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                        FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file.valid()) {
    if (GetLastError() == ERROR_SHARING_VIOLATION) ThrowInUse(path);
    ThrowLastError(false);
  }
  return file;
}

// Waits, for the retry time at most, until this appender's turn: the lock of
// the turn byte. After that time the entry is written all the same; a line
// among others is better than none. True when the lock is held.
bool TakeAppendTurn(const File& file, ULONGLONG giveUp) {
  for (;;) {
    OVERLAPPED at{};
    at.Offset = kTurnByteOffsetLow;
    at.OffsetHigh = kTurnByteOffsetHigh;
    if (LockFileEx(file.get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) return true;
    // Only another appender's turn is waited for; a file system without locks is written at once.
    if (GetLastError() != ERROR_LOCK_VIOLATION || GetTickCount64() >= giveUp) return false;
    Sleep(kSharingRetryPauseMilliseconds);
  }
}

File OpenForWriting(const std::string& path) {
  File file(CreateFileA(ToAnsi(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                        FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) {
    // A signature that Word holds open (shared for reading) cannot be
    // rewritten: the error names it, as reads do.
    if (GetLastError() == ERROR_SHARING_VIOLATION) ThrowInUse(path);
    ThrowLastError(true);
  }
  return file;
}

// Appending: the PCs of many users may append to one log on a share. The
// handle has FILE_APPEND_DATA and not FILE_WRITE_DATA, so that every write
// goes to the end of the file and none can overwrite what another wrote;
// read access is what LockFileEx asks for. Windows promises that for local
// files only; on SMB each writer's idea of the end may be old. So appenders
// also take turns through a byte-range lock, which a share carries to its
// server, and each finds the end of the file as it stands once its turn has
// come.
AppendingFile OpenForAppending(const std::string& path) {
  constexpr DWORD kAppendAccess = GENERIC_READ | FILE_APPEND_DATA;
  const std::string ansi = ToAnsi(path);
  const ULONGLONG giveUp = GetTickCount64() + kSharingRetryMilliseconds;
  for (;;) {
    File file(CreateFileA(ansi.c_str(), kAppendAccess, kShareAll, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                          nullptr));
    if (file.valid()) {
      AppendingFile appending{std::move(file), false};
      appending.turn = TakeAppendTurn(appending.file, giveUp);
      LARGE_INTEGER end{};
      if (!SetFilePointerEx(appending.file.get(), LARGE_INTEGER{}, &end, FILE_END)) {
        const DWORD e = GetLastError();
        if (appending.turn) EndAppendTurn(appending.file);
        throw err::Make(LastErrorToNumber(e, true));
      }
      return appending;
    }
    const DWORD e = GetLastError();
    const bool refused = e == ERROR_SHARING_VIOLATION || e == ERROR_LOCK_VIOLATION;
    if (!refused || GetTickCount64() >= giveUp) throw err::Make(LastErrorToNumber(e, true));
    Sleep(kSharingRetryPauseMilliseconds);
  }
}

void EndAppendTurn(const File& file) {
  OVERLAPPED at{};
  at.Offset = kTurnByteOffsetLow;
  at.OffsetHigh = kTurnByteOffsetHigh;
  // A lock that cannot be released here goes with the handle's close.
  static_cast<void>(UnlockFileEx(file.get(), 0, 1, 0, &at));
}

void CreateFolder(const std::string& path) {
  if (!CreateDirectoryA(ToAnsi(path).c_str(), nullptr)) ThrowLastError(true);
}

std::size_t ReadSome(const File& file, char* buffer, std::size_t size) {
  DWORD got = 0;
  const auto want = static_cast<DWORD>(std::min(size, kLargestTransfer));
  if (!ReadFile(file.get(), buffer, want, &got, nullptr)) ThrowLastError(false);
  return got;
}

std::size_t WriteSome(const File& file, std::string_view bytes) {
  DWORD written = 0;
  const auto chunk = static_cast<DWORD>(std::min(bytes.size(), kWriteChunk));
  if (!WriteFile(file.get(), bytes.data(), chunk, &written, nullptr)) ThrowLastError(true);
  return written;
}

// On a network share a write that Windows deferred can still fail when the file is closed.
void Close(File& file) {
  if (!file.Close()) ThrowLastError(true);
}

}  // namespace native
}  // namespace qm::platform
