// The system's single-byte (ANSI) code page. Texts are UTF-8 inside the program;
// files, profile files and registry texts are exchanged in this code page.
// Windows: CP_ACP. POSIX: Windows-1252, or the code page QUILLMARK_CODEPAGE names,
// converted exactly as Windows converts it (look-alikes included).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qm::platform {

/// UTF-8 to the ANSI code page, as WideCharToMultiByte with no flags writes it:
/// each UTF-16 unit on its own; a character the code page lacks becomes its
/// look-alike where the code page has one ("Ł" is "L" in Windows-1252), else
/// "?"; a character beyond U+FFFF is two units and so two "?". A malformed UTF-8
/// sequence is U+FFFD first (as text::DecodeUtf8 reads it). Never fails.
std::string ToAnsi(std::string_view utf8);

/// ANSI code page to UTF-8. Every byte maps to one character; never fails.
std::string FromAnsi(std::string_view ansi);

/// A single-byte code page, whole: the character each byte reads as, and the
/// byte each character of the Basic Multilingual Plane (each UTF-16 unit,
/// surrogates included) is written as, both as the system converts them.
struct CodePageTable {
  static constexpr std::size_t kUnits = 0x10000;
  std::array<char16_t, 256> toUnicode{};
  std::vector<std::uint8_t> fromUnicode = std::vector<std::uint8_t>(kUnits);
};

/// The table of the Windows code page with that number (1252, 1250...);
/// nullopt when the system has no single-byte code page of that number.
std::optional<CodePageTable> ReadCodePageTable(unsigned codePage);

}  // namespace qm::platform
