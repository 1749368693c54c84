// The terminal the program was started from: where /CHECK prints its findings,
// and where the linux build repeats a failed run's error line.
#pragma once

#include <string_view>

namespace qm::platform {

/// Writes text (UTF-8, lines ended by "\n") to the program's standard output.
/// POSIX: as UTF-8. Windows, a program without a console of its own: to the
/// standard output handle it was given (a console as Unicode, a file or pipe
/// in the ANSI code page, lines ended by CR LF), else to the console of the
/// program that started it. False when no console and no handle took all of
/// it (started from Explorer or a logon script). Never fails otherwise.
bool WriteStandardOutput(std::string_view utf8);

/// A failed run's error line (UTF-8, without a line end) on standard error.
/// POSIX only: a Windows program of the window subsystem has no terminal, and
/// the log file holds the line. Never fails.
void WriteErrorLine(std::string_view utf8);

}  // namespace qm::platform
