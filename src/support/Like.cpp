#include "support/Like.h"

#include <vector>

namespace qm {
namespace {

// Matches one bracket list starting at pattern[p] == '['; sets next to the
// position after ']' and returns whether c is accepted. A list without ']' is
// taken literally.
bool MatchList(char c, std::string_view pattern, size_t p, size_t& next, bool& valid) {
  size_t close = pattern.find(']', p + 1);
  if (close == std::string_view::npos) {
    valid = false;
    return false;
  }
  valid = true;
  next = close + 1;
  size_t i = p + 1;
  bool negate = i < close && pattern[i] == '!';
  if (negate) ++i;
  bool hit = false;
  while (i < close) {
    char lo = pattern[i];
    if (i + 2 < close && pattern[i + 1] == '-') {
      char hi = pattern[i + 2];
      if (c >= lo && c <= hi) hit = true;
      i += 3;
    } else {
      if (c == lo) hit = true;
      ++i;
    }
  }
  return negate ? !hit : hit;
}

}  // namespace

bool Like(std::string_view text, std::string_view pattern) {
  // Iterative matcher with one backtrack point for the last '*'.
  size_t t = 0, p = 0;
  size_t starP = std::string_view::npos, starT = 0;
  while (t < text.size()) {
    if (p < pattern.size()) {
      char pc = pattern[p];
      if (pc == '*') {
        starP = p++;
        starT = t;
        continue;
      }
      bool ok = false;
      size_t next = p + 1;
      if (pc == '?') {
        ok = true;
      } else if (pc == '#') {
        ok = text[t] >= '0' && text[t] <= '9';
      } else if (pc == '[') {
        bool valid = false;
        ok = MatchList(text[t], pattern, p, next, valid);
        if (!valid) {
          ok = text[t] == '[';
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
    if (starP == std::string_view::npos) return false;
    p = starP + 1;
    t = ++starT;
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace qm
