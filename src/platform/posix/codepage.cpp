// POSIX stand-in for the ANSI code page: Windows-1252 unless QUILLMARK_CODEPAGE
// names another single-byte code page that iconv knows.
#include "platform/codepage.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <mutex>

namespace qm::platform {
namespace {

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

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
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

}  // namespace

std::string ToAnsi(std::string_view utf8) {
  const Table& t = GetTable();
  std::string out;
  out.reserve(utf8.size());
  size_t i = 0;
  while (i < utf8.size()) {
    auto c = static_cast<unsigned char>(utf8[i]);
    if (c < 0x80) {
      out += static_cast<char>(c);
      ++i;
      continue;
    }
    int len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 0;
    char32_t cp = 0;
    bool ok = len > 0 && i + static_cast<size_t>(len) <= utf8.size();
    if (ok) {
      cp = c & (0x7F >> len);
      for (int k = 1; k < len; ++k) {
        auto cc = static_cast<unsigned char>(utf8[i + static_cast<size_t>(k)]);
        if ((cc & 0xC0) != 0x80) { ok = false; break; }
        cp = (cp << 6) | (cc & 0x3F);
      }
    }
    if (!ok) {
      out += '?';
      ++i;
      continue;
    }
    i += static_cast<size_t>(len);
    auto it = std::lower_bound(t.sorted.begin(), t.sorted.end(), std::make_pair(cp, std::uint8_t{0}));
    out += (it != t.sorted.end() && it->first == cp) ? static_cast<char>(it->second) : '?';
  }
  return out;
}

std::string FromAnsi(std::string_view ansi) {
  const Table& t = GetTable();
  std::string out;
  out.reserve(ansi.size() + ansi.size() / 8);
  for (char ch : ansi) {
    auto b = static_cast<unsigned char>(ch);
    if (b < 0x80) out += ch;
    else AppendUtf8(out, t.toUnicode[b]);
  }
  return out;
}

}  // namespace qm::platform
