// The system's ANSI code page. Texts are UTF-8 inside the program; files,
// profile files and registry texts are exchanged in this code page, which has
// one byte per character (1252, 1250...), one or two (Japanese 932, Chinese
// 936 and 950, Korean 949) or UTF-8 (65001, Windows' "Use Unicode UTF-8 for
// worldwide language support"). Windows: CP_ACP. POSIX: Windows-1252, or the
// code page QUILLMARK_CODEPAGE names, converted exactly as Windows converts it
// (look-alikes included).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qm::platform {

/// The number of UTF-8 as a Windows code page.
inline constexpr unsigned kUtf8CodePage = 65001;

/// The number of the ANSI code page: GetACP on Windows; on POSIX the Windows
/// code page QUILLMARK_CODEPAGE names (1252 when it is unset or refused,
/// 65001 for UTF-8), 0 for another single-byte code page that iconv converts.
unsigned AnsiCodePage();

/// Why the system's code page cannot be used, in German and naming it: a
/// name of QUILLMARK_CODEPAGE that the POSIX build cannot convert exactly.
/// Nullopt when it can be used (always on Windows). Until the run has refused
/// it, texts are converted as Windows-1252.
std::optional<std::string> CodePageRefusal();

/// UTF-8 to the ANSI code page, as WideCharToMultiByte with no flags writes it:
/// each UTF-16 unit on its own; a character the code page lacks becomes its
/// look-alike where the code page has one ("Ł" is "L" in Windows-1252), else
/// "?"; a character beyond U+FFFF is two units and so two "?". In UTF-8 every
/// character is kept. A malformed UTF-8 sequence is U+FFFD first (as
/// text::DecodeUtf8 reads it). Raises the system's error where Windows refuses
/// the conversion (it does not for any text of its code pages).
std::string ToAnsi(std::string_view utf8);

/// ANSI code page to UTF-8, as MultiByteToWideChar with no flags reads it: a
/// lead byte and the byte after it (unless that is a NUL) are one character,
/// every other byte one character of its own; a malformed UTF-8 sequence is
/// U+FFFD. Raises as ToAnsi.
std::string FromAnsi(std::string_view ansi);

/// True when the text comes back from the ANSI code page as it is: every
/// character of it is one of the code page's (no look-alike, no "?").
bool HoldsInAnsi(std::string_view utf8);

/// True when a character of the ANSI code page can take more than one byte:
/// a double-byte code page or UTF-8.
bool IsMultiByteCodePage();

/// True for a byte that begins a character of two bytes in the ANSI code page
/// (IsDBCSLeadByte); never in a single-byte code page or in UTF-8.
bool IsLeadByte(unsigned char byte);

/// The number of bytes of the character that begins at ansi[at] (at <
/// ansi.size()), as FromAnsi reads the text: two for a lead byte with a byte
/// other than NUL after it, a whole sequence in UTF-8 (one byte for each
/// malformed one), else one.
std::size_t CharacterLength(std::string_view ansi, std::size_t at);

/// The length of the longest beginning of ansi that is at most maxBytes long
/// and ends with a whole character: a cut never leaves a lead byte without its
/// second byte, nor a part of a UTF-8 sequence.
std::size_t WholeCharacters(std::string_view ansi, std::size_t maxBytes);

/// A Windows code page of one or two bytes per character, whole: the
/// character each byte and each pair of bytes reads as, and the bytes each
/// character of the Basic Multilingual Plane (each UTF-16 unit, surrogates
/// included) is written as, both as the system converts them.
struct CodePageTable {
  static constexpr std::size_t kUnits = 0x10000;
  static constexpr std::size_t kBytes = 0x100;
  /// What each byte reads as on its own (a lead byte: at the end of a text or
  /// before a NUL).
  std::array<char16_t, kBytes> toUnicode{};
  /// The lead bytes of a double-byte code page; none in a single-byte one.
  std::array<bool, kBytes> leadByte{};
  /// A double-byte code page's pairs: what a lead byte and the byte after it
  /// read as, at lead << 8 | byte (U+0000 for a NUL after it: no pair). Empty
  /// for a single-byte code page.
  std::vector<char16_t> pairs;
  /// What each unit is written as: one byte (below 100 hex), or a lead byte
  /// and the byte after it (lead << 8 | byte).
  std::vector<std::uint16_t> fromUnicode = std::vector<std::uint16_t>(kUnits);
};

/// The table of the Windows code page with that number (1252, 932...);
/// nullopt when the system has no such code page of one or two bytes.
std::optional<CodePageTable> ReadCodePageTable(unsigned codePage);

}  // namespace qm::platform
