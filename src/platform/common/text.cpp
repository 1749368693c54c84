// UTF-8 and UTF-16, and case-insensitive comparison. OS-independent; the case
// tables themselves come from the operating system (MapCase).
#include "platform/common/text.h"

namespace qm::platform::text {
namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr char32_t kMaxCodePoint = 0x10FFFF;
constexpr char32_t kFirstSupplementary = 0x10000;
constexpr char16_t kHighSurrogateFirst = 0xD800;
constexpr char16_t kLowSurrogateFirst = 0xDC00;
constexpr char16_t kSurrogateEnd = 0xE000;  // one past the last low surrogate

bool IsHighSurrogate(char32_t u) { return u >= kHighSurrogateFirst && u < kLowSurrogateFirst; }
bool IsLowSurrogate(char32_t u) { return u >= kLowSurrogateFirst && u < kSurrogateEnd; }
bool IsContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

// The code point of the sequence at text[i], advancing i past it; kReplacement
// for a malformed one (then i moves on by one byte only, as Windows does).
char32_t DecodeUtf8(std::string_view text, size_t& i) {
  const auto lead = static_cast<unsigned char>(text[i]);
  if (lead < 0x80) {
    ++i;
    return lead;
  }
  size_t length = 0;
  char32_t cp = 0;
  char32_t minimum = 0;
  if ((lead & 0xE0) == 0xC0) {
    length = 2, cp = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, cp = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, cp = lead & 0x07, minimum = kFirstSupplementary;
  }
  if (length == 0 || i + length > text.size()) {
    ++i;
    return kReplacement;
  }
  for (size_t k = 1; k < length; ++k) {
    const auto b = static_cast<unsigned char>(text[i + k]);
    if (!IsContinuation(b)) {
      ++i;
      return kReplacement;
    }
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < minimum || cp > kMaxCodePoint || IsHighSurrogate(cp) || IsLowSurrogate(cp)) {
    ++i;
    return kReplacement;
  }
  i += length;
  return cp;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < kFirstSupplementary) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

void AppendUtf16(std::u16string& out, char32_t cp) {
  if (cp < kFirstSupplementary) {
    out += static_cast<char16_t>(cp);
    return;
  }
  cp -= kFirstSupplementary;
  out += static_cast<char16_t>(kHighSurrogateFirst + (cp >> 10));
  out += static_cast<char16_t>(kLowSurrogateFirst + (cp & 0x3FF));
}

std::u16string Upper16(std::string_view utf8) { return MapCase(Utf8ToUtf16(utf8), Case::Upper); }

}  // namespace

std::u16string Utf8ToUtf16(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) AppendUtf16(out, DecodeUtf8(utf8, i));
  return out;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size());
  for (size_t i = 0; i < utf16.size(); ++i) {
    char32_t cp = utf16[i];
    if (IsHighSurrogate(cp) && i + 1 < utf16.size() && IsLowSurrogate(utf16[i + 1])) {
      cp = kFirstSupplementary + ((cp - kHighSurrogateFirst) << 10) + (utf16[++i] - kLowSurrogateFirst);
    } else if (IsHighSurrogate(cp) || IsLowSurrogate(cp)) {
      cp = kReplacement;
    }
    AppendUtf8(out, cp);
  }
  return out;
}

std::string Utf16LeToUtf8(std::string_view bytes) {
  std::u16string units(bytes.size() / 2, u'\0');
  for (size_t k = 0; k < units.size(); ++k) {
    units[k] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * k]) |
                                     (static_cast<unsigned char>(bytes[2 * k + 1]) << 8));
  }
  return Utf16ToUtf8(units);
}

std::string Utf8ToUtf16Le(std::string_view utf8) {
  const std::u16string units = Utf8ToUtf16(utf8);
  std::string bytes;
  bytes.reserve(2 * units.size());
  for (char16_t u : units) {
    bytes += static_cast<char>(u & 0xFF);
    bytes += static_cast<char>(u >> 8);
  }
  return bytes;
}

bool IsValidUtf8(std::string_view bytes) {
  for (size_t i = 0; i < bytes.size();) {
    const size_t start = i;
    if (DecodeUtf8(bytes, i) == kReplacement && bytes.substr(start, i - start) != "\xEF\xBF\xBD") {
      return false;
    }
  }
  return true;
}

std::string ToLower(std::string_view utf8) { return Utf16ToUtf8(MapCase(Utf8ToUtf16(utf8), Case::Lower)); }

std::string ToUpper(std::string_view utf8) { return Utf16ToUtf8(MapCase(Utf8ToUtf16(utf8), Case::Upper)); }

bool EqualsNoCase(std::string_view a, std::string_view b) { return Upper16(a) == Upper16(b); }

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  const std::u16string t = Upper16(text);
  const std::u16string p = Upper16(prefix);
  return t.size() >= p.size() && t.compare(0, p.size(), p) == 0;
}

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
  const std::u16string t = Upper16(text);
  const std::u16string s = Upper16(suffix);
  return t.size() >= s.size() && t.compare(t.size() - s.size(), s.size(), s) == 0;
}

}  // namespace qm::platform::text
