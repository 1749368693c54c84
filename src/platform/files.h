// Files and folders. Every path is in core notation (see paths.h) and UTF-8;
// Windows hands it to the single-byte functions in the ANSI code page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/error.h"

namespace qm::platform {

struct FolderEntry {
  std::string name;  ///< bare name, no folder
  bool isDirectory = false;
  /// False for a name that the ANSI code page cannot hold: Windows' single-byte
  /// functions would see a look-alike or "?" in its place (another file, or in
  /// a copy or delete a wildcard), so it must not be handed to them.
  bool ansiName = true;
};

/// True for a name Windows takes for a device, not a file: CON, PRN, AUX, NUL,
/// COM1 to COM9 and LPT1 to LPT9 in any case, also with an extension
/// ("aux.htm") or blanks before it, as Windows before 11 takes them. Opening
/// such a "file" reads or writes the device (AUX waits for input for good).
bool IsDeviceName(std::string_view name);

/// FindFirstFileA on the path itself (no pattern added): true when it names an entry.
bool FindEntry(const std::string& path);

/// PathFileExistsA: true for an existing file or folder.
bool PathExists(const std::string& path);

/// True when path is a file that can be opened for reading (it is closed at once).
/// POSIX: opened without waiting, so a FIFO or a device answers true as well;
/// InputFile then refuses it.
bool CanOpenForReading(const std::string& path);

/// True when the file exists but cannot be opened because another program
/// holds it without sharing it (Windows' sharing violation). POSIX: never.
bool InUseByAnotherProgram(const std::string& path);

/// The error for such a file: 70, naming the file and saying that another
/// program uses it (rather than that it is missing). Never fails.
Error InUseError(const std::string& path);

/// CreateDirectoryA: creates the last level only. False on failure.
bool CreateFolder(const std::string& path);

/// The entries of folder + "*.*" (folder ends in "\"), in the platform's
/// enumeration order, "." and ".." included where the platform gives them.
/// Empty when the folder cannot be read.
std::vector<FolderEntry> ListFolder(const std::string& folder);

/// Why a shell copy or delete failed, in German, from its result: "Zugriff
/// verweigert (Code 5)". The result is one of the shell's own codes (DE_...,
/// 0x402) or a Windows error number; an unknown one is named by its number.
std::string ShellResultText(int result);

/// SHFileOperationA copy (FO_COPY, FOF_NO_UI: never a window, never an error
/// dialog): 0 on success, non-zero otherwise.
int ShellCopy(const std::string& source, const std::string& destination);

/// SHFileOperationA delete (FO_DELETE, FOF_NO_UI, plus FOF_ALLOWUNDO when
/// toRecycleBin: what cannot be recycled is deleted for good): 0 on success.
/// POSIX: the recycle bin is the freedesktop.org Trash.
int ShellDelete(const std::string& path, bool toRecycleBin);

/// Sets or clears a file's read-only attribute (POSIX: takes the write
/// permission from everyone, or gives it back to the owner). False when the
/// file's attributes could not be changed, a missing file included.
bool SetReadOnly(const std::string& path, bool readOnly);

/// True for an existing file that has the read-only attribute (POSIX: that
/// nobody may write).
bool IsReadOnly(const std::string& path);

/// The time of a file's last write, in 100-nanosecond ticks of the file
/// system's clock (Windows: since 1601; POSIX: since 1970); nullopt when there
/// is no such file.
std::optional<std::int64_t> LastWriteTicks(const std::string& path);

/// The file system's clock now, in the ticks of LastWriteTicks.
std::int64_t FileClockTicks();

/// Creates the folder with every level above it that is missing. Throws
/// qm::Error with the file system's error for the first level it cannot create
/// (70 permission denied, 76 path not found when a level above is a file, ...).
/// A path that names an existing file is left as it is.
void CreateFolderPath(const std::string& path);

/// A file opened for sequential reading, shared with the programs that hold it
/// open (for writing and deleting too). Failures throw qm::Error with the
/// run-time error numbers of error.h (53 file not found, 70 permission denied,
/// and 70 naming the file for one another program holds without sharing; 75
/// for a folder, and on POSIX for a FIFO or a device, opened without waiting).
class InputFile {
 public:
  explicit InputFile(const std::string& path);
  ~InputFile();
  InputFile(InputFile&&) noexcept;
  InputFile& operator=(InputFile&&) noexcept;

  /// Reads up to size bytes; 0 at the end of the file. Throws qm::Error.
  std::size_t Read(char* buffer, std::size_t size);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

/// A file opened for sequential writing: created or emptied, or appended to.
class OutputFile {
 public:
  /// Append lets other processes append to the same file at the same time, and
  /// each Write of up to a mebibyte lands whole at its end: appenders take
  /// turns, and each writes at the end as it stands in its turn (also on a
  /// share). Windows tries an open that another program refuses again for two
  /// seconds, and lets the file be renamed while it is open.
  enum class Mode { Replace, Append };
  /// Throws qm::Error when the file cannot be opened (75 for a folder, and on
  /// POSIX for a FIFO or a device, opened without waiting).
  OutputFile(const std::string& path, Mode mode);
  ~OutputFile();
  OutputFile(OutputFile&&) noexcept;
  OutputFile& operator=(OutputFile&&) noexcept;

  /// Writes all bytes. Throws qm::Error (61 disk full, 57 device I/O, ...).
  void Write(std::string_view bytes);
  /// Flushes and closes; throws qm::Error when the data could not be written.
  void Close();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace qm::platform
