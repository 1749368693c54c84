// The system's single-byte (ANSI) code page. Texts are UTF-8 inside the program;
// files, profile files and registry texts are exchanged in this code page.
// Windows: CP_ACP. POSIX: Windows-1252, or the iconv name in QUILLMARK_CODEPAGE.
#pragma once

#include <string>
#include <string_view>

namespace qm::platform {

/// UTF-8 to the ANSI code page; a character the code page cannot hold becomes "?",
/// and so does each malformed UTF-8 sequence (as text::DecodeUtf8 reads it). Never fails.
std::string ToAnsi(std::string_view utf8);

/// ANSI code page to UTF-8. Every byte maps to one character; never fails.
std::string FromAnsi(std::string_view ansi);

}  // namespace qm::platform
