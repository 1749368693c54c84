// Text inside the program is UTF-8. UTF-16 is what the Windows wide functions,
// registry export files and data link files hold. This is the one place that
// converts between the two and that compares and maps letter case; the
// single-byte (ANSI) code page is codepage.h.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qm::platform::text {

/// The code point of the UTF-8 sequence that starts at utf8[pos] (pos <
/// utf8.size()), pos moved past it. A malformed sequence gives U+FFFD; pos then
/// moves past the bytes that could still have begun a character (at least
/// one), as MultiByteToWideChar (CP_UTF8) does, so one bad sequence is one U+FFFD.
char32_t DecodeUtf8(std::string_view utf8, std::size_t& pos);

/// Appends the UTF-8 form of a code point; a surrogate or a value above
/// U+10FFFF is appended as U+FFFD.
void AppendUtf8(std::string& out, char32_t codePoint);

/// UTF-8 to UTF-16. Malformed sequences (stray bytes, overlong forms, encoded
/// surrogates, cut-off sequences) become U+FFFD as DecodeUtf8 reads them.
std::u16string Utf8ToUtf16(std::string_view utf8);

/// UTF-16 to UTF-8. A surrogate without its partner becomes U+FFFD, as
/// WideCharToMultiByte (CP_UTF8) does.
std::string Utf16ToUtf8(std::u16string_view utf16);

/// UTF-16LE bytes (no byte-order mark) to UTF-8. An odd last byte is dropped;
/// callers that must refuse it check the size first.
std::string Utf16LeToUtf8(std::string_view bytes);

/// UTF-8 to UTF-16LE bytes, without a byte-order mark; malformed input as
/// Utf8ToUtf16.
std::string Utf8ToUtf16Le(std::string_view utf8);

/// True when bytes are well-formed UTF-8 (false at the first malformed sequence).
bool IsValidUtf8(std::string_view bytes);

enum class Case { Lower, Upper };

/// Every character mapped to its lower or upper case form, one to one, by the
/// system's tables: Windows' own mapping (CharLowerBuffW / CharUpperBuffW), on
/// POSIX the C library's Unicode tables. A character without a one-to-one
/// form (German ß has no single upper case letter) and surrogates stay as they
/// are. Implemented per operating system; never fails.
std::u16string MapCase(std::u16string text, Case to);

/// Lower / upper case of UTF-8 text, as MapCase; malformed input as Utf8ToUtf16.
std::string ToLower(std::string_view utf8);
std::string ToUpper(std::string_view utf8);

/// Equal without regard to case, as Windows compares registry and profile
/// names: both sides upper-cased character by character. False when they differ.
bool EqualsNoCase(std::string_view a, std::string_view b);
/// True when text begins / ends with the other text, compared as EqualsNoCase.
bool StartsWithNoCase(std::string_view text, std::string_view prefix);
bool EndsWithNoCase(std::string_view text, std::string_view suffix);

/// True when an NTFS folder lists name a before name b: NTFS orders its
/// entries by their upper-case forms, and names that differ in case only (a
/// folder that Linux or a case-sensitive share filled) by their UTF-16 units,
/// capitals first. A lookup without regard to case finds the first of them.
bool ListedBefore(std::string_view a, std::string_view b);

}  // namespace qm::platform::text
