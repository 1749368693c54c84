// UTF-8 and UTF-16, and case-insensitive comparison. OS-independent; the case
// tables themselves come from the operating system (MapCase).
#include "platform/common/text.h"

#include <algorithm>
#include <array>
#include <optional>

namespace qm::platform::text {
namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr char32_t kMaxCodePoint = 0x10FFFF;
constexpr char32_t kFirstSupplementary = 0x10000;
constexpr char32_t kHighSurrogateFirst = 0xD800;
constexpr char32_t kLowSurrogateFirst = 0xDC00;
constexpr char32_t kSurrogateEnd = 0xE000;  // one past the last low surrogate
constexpr unsigned kSurrogatePayloadBits = 10;
constexpr char32_t kSurrogatePayloadMask = 0x3FF;
constexpr unsigned kByteBits = 8;
constexpr unsigned kLowByte = 0xFF;

// A UTF-8 sequence: a lead byte, then continuation bytes (10xxxxxx) with six
// bits of the code point each.
constexpr unsigned char kFirstNonAscii = 0x80;
constexpr unsigned char kContinuationTagMask = 0xC0;
constexpr unsigned char kContinuationTag = 0x80;
constexpr unsigned kPayloadBits = 6;
constexpr unsigned char kPayloadMask = 0x3F;
// Lead bytes by the number of continuation bytes they announce. C0 and C1
// could only begin overlong forms and F5..FF values above U+10FFFF, so
// neither begins a sequence at all.
constexpr unsigned char kFirstLeadOf2 = 0xC2;
constexpr unsigned char kFirstLeadOf3 = 0xE0;
constexpr unsigned char kFirstLeadOf4 = 0xF0;
constexpr unsigned char kLastLeadOf4 = 0xF4;
// Indexed by the number of continuation bytes: the lead byte's tag, and the
// smallest code point that needs that many (below it the form is overlong).
constexpr std::array<unsigned char, 4> kLeadTag = {0x00, 0xC0, 0xE0, 0xF0};
constexpr std::array<char32_t, 4> kSmallest = {0x00, 0x80, 0x800, 0x10000};

bool IsHighSurrogate(char32_t u) { return u >= kHighSurrogateFirst && u < kLowSurrogateFirst; }
bool IsLowSurrogate(char32_t u) { return u >= kLowSurrogateFirst && u < kSurrogateEnd; }
bool IsContinuation(char b) { return (static_cast<unsigned char>(b) & kContinuationTagMask) == kContinuationTag; }

size_t ContinuationsAfter(unsigned char lead) {
  if (lead >= kFirstLeadOf2 && lead < kFirstLeadOf3) return 1;
  if (lead >= kFirstLeadOf3 && lead < kFirstLeadOf4) return 2;
  if (lead >= kFirstLeadOf4 && lead <= kLastLeadOf4) return 3;
  return 0;
}

// Once the first continuation byte is read, the code points the sequence can
// still become form one range. Windows takes that byte together with the lead
// and rejects both as one character when the whole range is overlong, made of
// surrogates or beyond U+10FFFF (ED A0 80 is two U+FFFD on Windows, not three).
bool CanStillBeValid(char32_t prefix, size_t continuationsLeft, size_t continuations) {
  const unsigned bitsLeft = kPayloadBits * static_cast<unsigned>(continuationsLeft);
  const char32_t least = prefix << bitsLeft;
  const char32_t most = least | ((char32_t{1} << bitsLeft) - 1);
  const bool surrogates = least >= kHighSurrogateFirst && most < kSurrogateEnd;
  return most >= kSmallest[continuations] && least <= kMaxCodePoint && !surrogates;
}

// The code point at text[pos], pos moved past what was read; nullopt for a
// malformed sequence. A byte that cannot continue the sequence is not taken:
// it starts the next character.
std::optional<char32_t> Decode(std::string_view text, size_t& pos) {
  const auto lead = static_cast<unsigned char>(text[pos++]);
  if (lead < kFirstNonAscii) return lead;
  const size_t continuations = ContinuationsAfter(lead);
  if (continuations == 0) return std::nullopt;
  char32_t cp = lead & (kPayloadMask >> continuations);
  for (size_t k = 1; k <= continuations; ++k) {
    if (pos >= text.size() || !IsContinuation(text[pos])) return std::nullopt;
    cp = (cp << kPayloadBits) | (static_cast<unsigned char>(text[pos++]) & kPayloadMask);
    if (k == 1 && !CanStillBeValid(cp, continuations - 1, continuations)) return std::nullopt;
  }
  return cp;
}

void AppendUtf16(std::u16string& out, char32_t cp) {
  if (cp < kFirstSupplementary) {
    out += static_cast<char16_t>(cp);
    return;
  }
  cp -= kFirstSupplementary;
  out += static_cast<char16_t>(kHighSurrogateFirst + (cp >> kSurrogatePayloadBits));
  out += static_cast<char16_t>(kLowSurrogateFirst + (cp & kSurrogatePayloadMask));
}

std::u16string Upper16(std::string_view utf8) { return MapCase(Utf8ToUtf16(utf8), Case::Upper); }

}  // namespace

char32_t DecodeUtf8(std::string_view utf8, size_t& pos) { return Decode(utf8, pos).value_or(kReplacement); }

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp > kMaxCodePoint || (cp >= kHighSurrogateFirst && cp < kSurrogateEnd)) cp = kReplacement;
  if (cp < kFirstNonAscii) {
    out += static_cast<char>(cp);
    return;
  }
  size_t continuations = 1;
  while (continuations < kSmallest.size() - 1 && cp >= kSmallest[continuations + 1]) ++continuations;
  out += static_cast<char>(kLeadTag[continuations] | (cp >> (kPayloadBits * continuations)));
  for (size_t k = continuations; k-- > 0;) {
    out += static_cast<char>(kContinuationTag | ((cp >> (kPayloadBits * k)) & kPayloadMask));
  }
}

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
      cp = kFirstSupplementary + ((cp - kHighSurrogateFirst) << kSurrogatePayloadBits) +
           (utf16[++i] - kLowSurrogateFirst);
    }
    AppendUtf8(out, cp);  // a surrogate left alone becomes U+FFFD there
  }
  return out;
}

std::string Utf16LeToUtf8(std::string_view bytes) {
  std::u16string units(bytes.size() / 2, u'\0');
  for (size_t k = 0; k < units.size(); ++k) {
    units[k] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * k]) |
                                     (static_cast<unsigned char>(bytes[2 * k + 1]) << kByteBits));
  }
  return Utf16ToUtf8(units);
}

std::string Utf8ToUtf16Le(std::string_view utf8) {
  const std::u16string units = Utf8ToUtf16(utf8);
  std::string bytes;
  bytes.reserve(2 * units.size());
  for (char16_t u : units) {
    bytes += static_cast<char>(u & kLowByte);
    bytes += static_cast<char>(u >> kByteBits);
  }
  return bytes;
}

bool IsValidUtf8(std::string_view bytes) {
  for (size_t i = 0; i < bytes.size();) {
    if (!Decode(bytes, i)) return false;
  }
  return true;
}

std::string ToLower(std::string_view utf8) { return Utf16ToUtf8(MapCase(Utf8ToUtf16(utf8), Case::Lower)); }

std::string ToUpper(std::string_view utf8) { return Utf16ToUtf8(MapCase(Utf8ToUtf16(utf8), Case::Upper)); }

namespace {

bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

bool EqualsNoCase(std::string_view a, std::string_view b) {
  // Between two ASCII texts only a-z have other cases (the characters whose
  // capital is ASCII, such as the dotless i, are not ASCII themselves).
  if (IsAscii(a) && IsAscii(b)) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return AsciiUpper(x) == AsciiUpper(y); });
  }
  return Upper16(a) == Upper16(b);
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return Upper16(text).starts_with(Upper16(prefix));
}

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
  return Upper16(text).ends_with(Upper16(suffix));
}

bool ListedBefore(std::string_view a, std::string_view b) {
  const std::u16string upperA = Upper16(a), upperB = Upper16(b);
  if (upperA != upperB) return upperA < upperB;
  return Utf8ToUtf16(a) < Utf8ToUtf16(b);
}

}  // namespace qm::platform::text
