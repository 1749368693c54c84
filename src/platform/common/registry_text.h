// The text of a registry file, as reg export writes it and regedit reads it:
// its encodings, its lines, and its key and value lines. A file is read in
// steps: DetectEncoding, LogicalLines (the lines as stored, a continued value
// line joined with the lines it goes on in), then on each line ParseKeyLine,
// or ParseValueLine and ParseData. ValueLineText writes a value line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qm::platform::registry::regtext {

inline constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
inline constexpr std::string_view kHeaderRegedit4 = "REGEDIT4";
inline constexpr std::string_view kLineEnd = "\r\n";

enum class Encoding { Utf16Le, Utf8WithBom, Utf8, Ansi };
/// REGEDIT4 files hold the text of hex(2) and hex(7) values in the ANSI code page.
enum class Dialect { Version5, Regedit4 };

/// What a registry file cannot hold, in German; line is the number of the
/// line, 0 when the one who reads the line knows it.
struct Malformed {
  std::string what;
  std::size_t line = 0;
};

struct Value {
  std::uint32_t type = 0;
  std::string data;  ///< as Windows stores it: text types in UTF-16LE
};

/// Bytes in an encoding as UTF-8, and back. Never fail: see the text module
/// and the code page for what they do with what does not convert.
std::string Decode(std::string_view bytes, Encoding encoding);
std::string Encode(std::string_view utf8, Encoding encoding);
/// The byte-order mark written before the text; empty for none.
std::string_view ByteOrderMark(Encoding encoding);
/// The encoding of a file: by its byte-order mark, else UTF-8 when the bytes
/// are UTF-8, else the ANSI code page (REGEDIT4 files). Never fails.
Encoding DetectEncoding(std::string_view bytes);

/// A root key's name in full ("HKEY_CURRENT_USER"); "" for a number that is none of
/// the four roots of registry.h.
std::string RootKeyName(std::uint32_t root);

/// True for a key or value name that a .reg file cannot hold: one with a line break.
bool HasLineBreak(std::string_view name);
/// A name as an error message shows it: on one line (CR and LF as \r and \n).
std::string Shown(std::string_view name);

/// The form in which the registry compares names: upper case.
std::string Fold(std::string_view name);
/// The levels of a key path; empty levels (a trailing or doubled "\") are none.
std::vector<std::string_view> Levels(std::string_view path);

/// A line as the registry reads it: a value line ending in "\" goes on in the
/// next one, whose leading blanks are skipped.
struct LogicalLine {
  std::size_t number = 0;  ///< of its first line in the file, from 1
  std::size_t begin = 0, end = 0,
              next = 0;  ///< bytes: its start, its end before the line end, the next line's start
  std::string text;      ///< UTF-8, without the line end
};

/// The lines of bytes from `from` on, in their encoding; LF or CR LF ends a line.
class LogicalLines {
 public:
  LogicalLines(std::string_view bytes, Encoding encoding, std::size_t from);
  /// The next line; nullopt after the last. Throws Malformed for a file that
  /// ends inside a continued line or inside a UTF-16 character.
  std::optional<LogicalLine> Next();

 private:
  struct Raw {
    std::size_t begin = 0, end = 0, next = 0;
  };
  std::optional<Raw> NextRaw();
  std::size_t WithoutCarriageReturn(std::size_t begin, std::size_t end) const;
  std::string Text(const Raw& raw) const;

  std::string_view bytes_;
  Encoding encoding_;
  std::size_t unit_;   // bytes per character unit
  std::size_t start_;  // where the text begins (behind the byte-order mark)
  std::size_t pos_;
  bool done_ = false;
  std::size_t number_ = 0;
};

/// True for the lines the registry passes over: blank ones and comments (";").
bool IsBlankOrComment(std::string_view line);
/// A line starting with "[".
bool IsKeyLine(std::string_view line);
/// A line starting with '"' or "@".
bool IsValueLine(std::string_view line);

struct KeyLine {
  bool remove = false;    ///< [-...]
  std::string root;       ///< in full, upper case
  std::string_view path;  ///< below the root, as in the line
};
/// "[root\path]" or "[-root\path]"; root may be abbreviated (HKCU...). Throws Malformed.
KeyLine ParseKeyLine(std::string_view line);

struct ValueLine {
  std::string name;       ///< "" for the default value (@)
  std::string_view data;  ///< what stands right of "=", without blanks around
};
/// @=data or "name"=data. Throws Malformed.
ValueLine ParseValueLine(std::string_view line);
/// A value line's data: a value, or nullopt for "-" (delete the value). Throws Malformed.
std::optional<Value> ParseData(std::string_view data, Dialect dialect);

/// A value line as reg export writes it (regedit for REGEDIT4 files), without line end.
std::string ValueLineText(const std::string& name, const Value& value, Dialect dialect);
/// What ends the text's last line so that another can follow: nothing after
/// LF, LF after a lone CR (which would otherwise stay part of the line), else CR LF.
std::string_view LineEndToAdd(std::string_view text);
/// True when the text ends with an empty line (or is empty).
bool EndsWithBlankLine(std::string_view text);

}  // namespace qm::platform::registry::regtext
