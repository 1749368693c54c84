// The operating system's half of InputFile and OutputFile: opening, reading,
// writing and closing one file, implemented by posix/files.cpp and
// win32/files.cpp. The classes of files.h sit on these in common/files.cpp.
// native_files.h comes from the per-OS folder (the platform target's include path).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "native_files.h"

namespace qm::platform::native {

/// Opens path for sequential reading. Throws qm::Error (53 file not found,
/// 76 path not found, 70 permission denied, 75 for a folder, ...).
File OpenForReading(const std::string& path);

/// Creates or empties path for writing. Throws qm::Error (76 path not found,
/// 70 permission denied, ...).
File OpenForWriting(const std::string& path);

/// A file opened for appending, and whether its appender holds the lock of
/// its turn (given back by EndAppendTurn before the file is closed).
struct AppendingFile {
  File file;
  bool turn = false;
};

/// Opens path for appending only (created when missing): every write lands at
/// the end of the file (Windows: FILE_APPEND_DATA with read access for the
/// lock and without FILE_WRITE_DATA; POSIX: O_APPEND). Then waits for this
/// appender's turn, a lock on one byte far beyond the end of any log, and finds
/// the end of the file under it. A program that refuses the open (Windows) or
/// holds the turn is waited for two seconds at most; after that, and at once
/// on a file system without locks, the file is written without the turn.
/// Throws qm::Error (76 path not found, 70 permission denied, ...).
AppendingFile OpenForAppending(const std::string& path);

/// Gives the turn back: the lock is released while the file is still open, as
/// a lock left to the close may be released late. Never fails.
void EndAppendTurn(const File& file);

/// Creates the folder path (its last level). Throws qm::Error (76 path not
/// found, 70 permission denied, 75 when an entry of that name exists, ...).
void CreateFolder(const std::string& path);

/// Reads up to size bytes; 0 at the end of the file. Throws qm::Error.
std::size_t ReadSome(const File& file, char* buffer, std::size_t size);

/// Writes a first part of bytes and returns its length, 0 when the device took
/// nothing without naming an error. Throws qm::Error (61 disk full, 57 device I/O, ...).
std::size_t WriteSome(const File& file, std::string_view bytes);

/// Closes file. Throws qm::Error when the system reports that the data could
/// not be written; the file is closed either way.
void Close(File& file);

}  // namespace qm::platform::native
