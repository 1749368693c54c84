// The terminal the program was started from: where /VERSION answers, where
// /CHECK prints its findings, and where the linux build repeats a failed run's
// error line.
#pragma once

#include <string_view>

namespace qm::platform {

enum class Stream { Output, Error };

/// Writes text (UTF-8, lines ended by "\n") to standard output or error.
/// POSIX: as UTF-8. Windows, a program without a console of its own: to the
/// handle the starting program gave (a console as Unicode; a file or a pipe in
/// the output code page of the starting program's console, else the OEM code
/// page, with CR LF, as console programs write it and as cmd.exe and
/// PowerShell read redirected output), else to the console of the program
/// that started it. False when nothing took all of it (started from Explorer or
/// a logon script). Never fails otherwise.
bool Write(Stream stream, std::string_view utf8);

/// A failed run's error line (UTF-8, without a line end) on standard error.
/// POSIX only: a Windows program of the window subsystem started at logon has
/// no terminal, and the log file holds the line. Never fails.
void WriteErrorLine(std::string_view utf8);

}  // namespace qm::platform
