#include "support/Like.h"

#include <string>

#include "platform/common/text.h"

namespace qm {
namespace {

namespace text = platform::text;

// The characters of a UTF-8 text. A malformed sequence stays one character
// per byte of its own (negative, so that no character of the pattern equals it).
std::u32string Characters(std::string_view utf8) {
  std::u32string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    const size_t start = i;
    char32_t c = text::DecodeUtf8(utf8, i);
    if (c == U'\uFFFD' && !utf8.substr(start, i - start).starts_with("\xEF\xBF\xBD")) {
      for (size_t k = start; k < i; ++k)
        out += static_cast<char32_t>(0x80000000u | static_cast<unsigned char>(utf8[k]));
      continue;
    }
    out += c;
  }
  return out;
}

// Matches one bracket list starting at pattern[p] == '['; sets next to the
// position after ']' and returns whether c is accepted. A list without ']' is
// taken literally.
bool MatchList(char32_t c, std::u32string_view pattern, size_t p, size_t& next, bool& valid) {
  size_t close = pattern.find(U']', p + 1);
  if (close == std::u32string_view::npos) {
    valid = false;
    return false;
  }
  valid = true;
  next = close + 1;
  size_t i = p + 1;
  bool negate = i < close && pattern[i] == U'!';
  if (negate) ++i;
  bool hit = false;
  while (i < close) {
    char32_t lo = pattern[i];
    if (i + 2 < close && pattern[i + 1] == U'-') {
      char32_t hi = pattern[i + 2];
      if (c >= lo && c <= hi) hit = true;
      i += 3;
    } else {
      if (c == lo) hit = true;
      ++i;
    }
  }
  return negate ? !hit : hit;
}

bool Match(std::u32string_view text, std::u32string_view pattern) {
  // Iterative matcher with one backtrack point for the last '*'.
  size_t t = 0, p = 0;
  size_t starP = std::u32string_view::npos, starT = 0;
  while (t < text.size()) {
    if (p < pattern.size()) {
      char32_t pc = pattern[p];
      if (pc == U'*') {
        starP = p++;
        starT = t;
        continue;
      }
      bool ok = false;
      size_t next = p + 1;
      if (pc == U'?') {
        ok = true;
      } else if (pc == U'#') {
        ok = text[t] >= U'0' && text[t] <= U'9';
      } else if (pc == U'[') {
        bool valid = false;
        ok = MatchList(text[t], pattern, p, next, valid);
        if (!valid) {
          ok = text[t] == U'[';
          next = p + 1;
        }
      } else {
        ok = text[t] == pc;
      }
      if (ok) {
        ++t;
        p = next;
        continue;
      }
    }
    if (starP == std::u32string_view::npos) return false;
    p = starP + 1;
    t = ++starT;
  }
  while (p < pattern.size() && pattern[p] == U'*') ++p;
  return p == pattern.size();
}

}  // namespace

bool Like(std::string_view text, std::string_view pattern) {
  return Match(Characters(text), Characters(pattern));
}

bool LikeNoCase(std::string_view text, std::string_view pattern) {
  return Like(text::ToLower(text), text::ToLower(pattern));
}

}  // namespace qm
