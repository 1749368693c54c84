// The UTF-8 and UTF-16 conversions on text that is not well-formed, where the
// program's converters used to disagree. The reference is Windows'
// MultiByteToWideChar and WideCharToMultiByte (CP_UTF8): one U+FFFD per
// malformed sequence, a sequence ending at the first byte that cannot continue
// it (the code page gets them as those U+FFFD, unit by unit).
#include <gtest/gtest.h>

#include <string>

#include "platform/common/text.h"

namespace {

namespace text = qm::platform::text;

TEST(Text, MalformedUtf8) {
  const struct { const char* what; std::string utf8; std::u16string utf16; } rows[] = {
      {"well-formed", "a\xC3\xA4\xE2\x82\xAC", u"a\u00E4\u20AC"},
      {"a stray continuation byte", "a\x80z", u"a\uFFFDz"},
      {"bytes that begin nothing", "\xC1\xF5\xFF", u"\uFFFD\uFFFD\uFFFD"},
      {"overlong slash in two bytes", "\xC0\xAF", u"\uFFFD\uFFFD"},
      {"overlong slash in three bytes", "\xE0\x80\xAF", u"\uFFFD\uFFFD"},
      {"an encoded surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD"},
      {"beyond U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD"},
      {"cut off before the next character", "\xE2\x82z", u"\uFFFDz"},
      {"cut off at the end", "z\xF0\x9F\x98", u"z\uFFFD"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    EXPECT_EQ(text::Utf8ToUtf16(row.utf8), row.utf16);
    EXPECT_EQ(text::IsValidUtf8(row.utf8), &row == &rows[0]);
  }
}

TEST(Text, UnpairedSurrogates) {
  using namespace std::string_literals;
  const struct {
    const char* what;
    std::string utf16le;
    std::string utf8;
  } rows[] = {
      {"a surrogate pair: one emoji", "\x3D\xD8\x00\xDE"s, "\xF0\x9F\x98\x80"},
      {"a lone high surrogate", "a\0\x3D\xD8z\0"s, "a\xEF\xBF\xBDz"},
      {"a lone low surrogate", "a\0\x00\xDEz\0"s, "a\xEF\xBF\xBDz"},
      {"a high surrogate at the end", "a\0\x3D\xD8"s, "a\xEF\xBF\xBD"},
      {"the pair reversed", "\x00\xDE\x3D\xD8"s, "\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"an odd last byte", "a\0z"s, "a"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    EXPECT_EQ(text::Utf16LeToUtf8(row.utf16le), row.utf8);
  }
  EXPECT_EQ(text::Utf8ToUtf16Le("\xF0\x9F\x98\x80"), rows[0].utf16le);
}

}  // namespace
