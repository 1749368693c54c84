// POSIX stand-in for the ANSI code page: Windows-1252 unless QUILLMARK_CODEPAGE
// names another single-byte code page that iconv knows.
#include "platform/codepage.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <mutex>

#include "platform/common/text.h"

namespace qm::platform {
namespace {

// What stands for a character the code page cannot hold.
constexpr char kDefaultChar = '?';
// Every code page the stand-in takes keeps ASCII where it is.
constexpr unsigned char kFirstNonAscii = 0x80;

// Byte -> Unicode code point, and the reverse for every code point the code page
// holds. Built once through iconv; bytes that iconv cannot convert (0x81, 0x8D,
// 0x8F, 0x90 and 0x9D in Windows-1252) map to the control character of the same
// value, as MultiByteToWideChar does on Windows.
struct Table {
  std::array<char32_t, 256> toUnicode{};
  std::array<std::pair<char32_t, std::uint8_t>, 256> sorted{};  // for the reverse lookup
};

const Table& GetTable() {
  static const Table table = [] {
    Table t;
    const char* name = std::getenv("QUILLMARK_CODEPAGE");
    if (name == nullptr || *name == '\0') name = "WINDOWS-1252";
    iconv_t cd = iconv_open("UTF-32LE", name);
    if (cd == reinterpret_cast<iconv_t>(-1)) cd = iconv_open("UTF-32LE", "WINDOWS-1252");
    for (int b = 0; b < 256; ++b) {
      char in = static_cast<char>(b);
      std::array<unsigned char, 8> out{};
      char* inPtr = &in;
      char* outPtr = reinterpret_cast<char*>(out.data());
      size_t inLeft = 1, outLeft = out.size();
      char32_t cp = static_cast<char32_t>(b);
      if (cd != reinterpret_cast<iconv_t>(-1)) {
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1) &&
            outLeft == 4) {
          cp = static_cast<char32_t>(out[0] | (out[1] << 8) | (out[2] << 16) | (out[3] << 24));
        }
      }
      t.toUnicode[static_cast<size_t>(b)] = cp;
      t.sorted[static_cast<size_t>(b)] = {cp, static_cast<std::uint8_t>(b)};
    }
    if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
    std::sort(t.sorted.begin(), t.sorted.end());
    return t;
  }();
  return table;
}

}  // namespace

std::string ToAnsi(std::string_view utf8) {
  const Table& t = GetTable();
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    if (static_cast<unsigned char>(utf8[i]) < kFirstNonAscii) {
      out += utf8[i++];
      continue;
    }
    // A malformed sequence arrives as U+FFFD, which no single-byte code page
    // holds: one "?" for it, as WideCharToMultiByte writes on Windows.
    const char32_t cp = text::DecodeUtf8(utf8, i);
    auto it = std::lower_bound(t.sorted.begin(), t.sorted.end(), std::make_pair(cp, std::uint8_t{0}));
    out += (it != t.sorted.end() && it->first == cp) ? static_cast<char>(it->second) : kDefaultChar;
  }
  return out;
}

std::string FromAnsi(std::string_view ansi) {
  const Table& t = GetTable();
  std::string out;
  out.reserve(ansi.size() + ansi.size() / 8);
  for (char ch : ansi) {
    const auto b = static_cast<unsigned char>(ch);
    if (b < kFirstNonAscii) {
      out += ch;
    } else {
      text::AppendUtf8(out, t.toUnicode[b]);
    }
  }
  return out;
}

}  // namespace qm::platform
