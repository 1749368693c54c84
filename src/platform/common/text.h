// Text inside the program is UTF-8. UTF-16 is what the Windows wide functions,
// registry export files and data link files hold. This is the one place that
// converts between the two and that compares and maps letter case; the
// single-byte (ANSI) code page is codepage.h.
#pragma once

#include <string>
#include <string_view>

namespace qm::platform::text {

/// UTF-8 to UTF-16. A byte that does not start or continue a valid sequence,
/// an overlong form and an encoded surrogate each become U+FFFD, as
/// MultiByteToWideChar (CP_UTF8) does.
std::u16string Utf8ToUtf16(std::string_view utf8);

/// UTF-16 to UTF-8. A surrogate without its partner becomes U+FFFD, as
/// WideCharToMultiByte (CP_UTF8) does.
std::string Utf16ToUtf8(std::u16string_view utf16);

/// UTF-16LE bytes (no byte-order mark) to UTF-8. An odd last byte is dropped;
/// callers that must refuse it check the size first.
std::string Utf16LeToUtf8(std::string_view bytes);

/// UTF-8 to UTF-16LE bytes, without a byte-order mark.
std::string Utf8ToUtf16Le(std::string_view utf8);

/// True when bytes are well-formed UTF-8.
bool IsValidUtf8(std::string_view bytes);

enum class Case { Lower, Upper };

/// Every character mapped to its lower or upper case form, one to one, by the
/// system's tables: Windows' own mapping (CharLowerBuffW / CharUpperBuffW), on
/// POSIX the C library's Unicode tables. Implemented per operating system.
std::u16string MapCase(std::u16string text, Case to);

/// Lower / upper case of UTF-8 text.
std::string ToLower(std::string_view utf8);
std::string ToUpper(std::string_view utf8);

/// Equal without regard to case, as Windows compares registry and profile
/// names: both sides upper-cased character by character.
bool EqualsNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);
bool EndsWithNoCase(std::string_view text, std::string_view suffix);

}  // namespace qm::platform::text
