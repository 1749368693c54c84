// File-name pattern matching: any text against any pattern.
#include <cstdint>
#include <string>

#include "support/Like.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string s(reinterpret_cast<const char*>(data), size);
  size_t cut = s.find('\0');
  std::string text = cut == std::string::npos ? s : s.substr(0, cut);
  std::string pattern = cut == std::string::npos ? s : s.substr(cut + 1);
  bool m = qm::Like(text, pattern);
  // A pattern without wildcards matches exactly itself.
  if (pattern.find_first_of("?*#[") == std::string::npos && m != (text == pattern)) __builtin_trap();
  return 0;
}
