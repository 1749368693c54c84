// modTools: the small routines the whole program shares (profile file, paths,
// environment, byte arrays for registry values, the log-line writer) and the
// text helpers of the core.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"

namespace qm {

/// The run's name for errors it raises itself (the executable's name).
std::string AppExeName();

/// Raises run error 999 with the executable's name as source.
[[noreturn]] void RaiseError(const std::string& description);

/// An error as the log, the event log and /CHECK name it: "Fehler <number>:
/// <description>". Never fails.
std::string ErrorText(long number, const std::string& description);

/// Raises a run-time error with its German text (err:: numbers of platform/error.h).
[[noreturn]] void RaiseRuntimeError(long number);

/// The buffer ReadIniValue reads a value into, in characters of the ANSI code
/// page; a value comes back cut to one less.
inline constexpr std::size_t kIniBufferSize = 5120;

/// The key's value in section of the profile file, at most 5,119 characters;
/// empty when absent or on any failure. Never raises.
std::string ReadIniValue(const std::string& file, const std::string& section, const std::string& key);

/// Sets the key; failures are ignored.
void WriteIniValue(const std::string& file, const std::string& section, const std::string& key,
                   const std::string& value);

/// The value of the environment variable name ("" when unset). Raises error
/// 999 naming the variable when the ANSI code page cannot hold the value: the
/// single-byte functions would see a look-alike ("dvorak" for "dvořák") or "?".
std::string EnvironmentText(const std::string& name);

/// Replaces the first %NAME% token (every occurrence of that same token) by the
/// variable's value when it is set and not empty; otherwise the text unchanged.
std::string ExpandEnvironmentVariable(const std::string& text);

/// The folder of the running executable, no trailing backslash (a root keeps it).
std::string GetAppFolder();

/// The path with one backslash at its end ("" gives "\").
std::string AddBackslash(const std::string& path);

/// The folder part of a path that contains a backslash (C:\a\b.ini gives C:\a,
/// C:\b.ini gives C:\). Raises error 5 for a path without a backslash.
std::string GetParentFolder(const std::string& path);

/// Writes the ANSI codes of text into bytes (upper bound = size - 1); with
/// twoBytes every even element, the odd ones left as they are. Where a
/// character of the code page can take more than one byte (double-byte, UTF-8),
/// twoBytes writes the UTF-16LE units of the text as the code page keeps it,
/// WideLength of them. Raises error 9 when the array is too small.
void StringToBytes(const std::string& text, std::vector<std::uint8_t>& bytes, bool twoBytes);

/// The number of 16-bit characters StringToBytes writes for the text with
/// twoBytes (in a single-byte code page, one per ANSI byte).
std::size_t WideLength(const std::string& text);

/// The text of the bytes in the ANSI code page: zero bytes skipped (skipZeros)
/// or ending the text.
std::string BytesToString(const std::vector<std::uint8_t>& bytes, bool skipZeros);

/// Upper-case hexadecimal: width > 0 zero-padded (error 6 when too wide), 0 bare,
/// -1 "&H" prefix, -2 "&H" and "&"; below -2 error 5.
std::string HexString(std::int32_t value, std::int32_t width);

/// The value, or def when the value is a database null or the empty text.
std::string NullToDefault(const std::optional<std::string>& value, const std::string& def);

/// One time-stamped entry of the log file as AppendLogLine writes it (CR LF
/// line ends, ANSI code page). Never fails.
std::string LogEntry(const std::string& text, bool blankBefore, bool blankAfter);
/// Appends one time-stamped entry (CR LF line ends, ANSI code page) to the file,
/// opening and closing it. Raises the file system's error.
void AppendLogLine(const std::string& path, const std::string& text, bool blankBefore, bool blankAfter);

// Text helpers of the core.

/// Leading and trailing spaces removed (spaces only: tabs stay).
std::string Trim(std::string_view text);
/// Lower / upper case of every letter that has a one-to-one form in that case,
/// by the system's tables (ß stays ß); never fails.
std::string ToLower(std::string_view text);
std::string ToUpper(std::string_view text);
/// Every occurrence of from replaced by to, left to right, case-sensitive.
std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to);
/// Split at every separator; nothing trimmed or dropped ("" gives one empty entry).
std::vector<std::string> Split(std::string_view text, std::string_view separator);
/// True when text ends with suffix without regard to case.
bool EndsWithNoCase(std::string_view text, std::string_view suffix);
/// The decimal number at the start of the text: blanks anywhere skipped,
/// reading stops at the first character that cannot continue it; none gives 0.
double Val(std::string_view text);
/// True when Val(text) equals 1.
bool NumberIsOne(std::string_view text);

/// A file name as a relative link: every byte outside the unreserved
/// characters (letters, digits, "-" "." "_" "~") percent-encoded, so that "#",
/// "?", "%" and blanks stay part of the name and the link cannot leave its
/// folder. Never fails.
std::string RelativeLink(std::string_view name);

/// The day written as YYYY-MM-DD (exactly: four, two and two digits, a day
/// the calendar has); nullopt for anything else.
std::optional<platform::Date> ParseDate(std::string_view text);
/// The day as DD.MM.YYYY.
std::string DateText(const platform::Date& date);

}  // namespace qm
