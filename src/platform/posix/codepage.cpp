// POSIX stand-in for the ANSI code page: Windows-1252 unless QUILLMARK_CODEPAGE
// names another. A Windows code page (1250, CP1250 or WINDOWS-1250, in any
// case) is converted with Windows' own tables, look-alikes included, so that a
// run writes the bytes the exe writes on Windows; any other single-byte code
// page that iconv knows (ISO-8859-2, KOI8-R...) is converted exactly, "?" for
// every character it lacks. A name neither knows means Windows-1252.
#include "platform/codepage.h"

#include <iconv.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>

#include "platform/common/codepage_tables.h"
#include "platform/common/text.h"

namespace qm::platform {
namespace {

constexpr unsigned kDefaultCodePage = 1252;
constexpr char kDefaultChar = '?';
constexpr char16_t kFirstNonAscii = 0x80;
constexpr char32_t kFirstSupplementary = 0x10000;
constexpr char32_t kHighSurrogateFirst = 0xD800;
constexpr char32_t kLowSurrogateFirst = 0xDC00;
constexpr unsigned kSurrogatePayloadBits = 10;
constexpr char32_t kSurrogatePayloadMask = 0x3FF;
constexpr std::size_t kUtf32Bytes = 4;
constexpr unsigned kByteBits = 8;

// The number of a Windows code page name: "1250", "CP1250", "WINDOWS-1250".
std::optional<unsigned> WindowsNumber(std::string_view name) {
  std::string upper(name);
  std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
  for (std::string_view prefix : {"WINDOWS-", "CP"}) {
    if (std::string_view(upper).starts_with(prefix)) {
      upper.erase(0, prefix.size());
      break;
    }
  }
  unsigned number = 0;
  const char* end = upper.data() + upper.size();
  if (upper.empty() || std::from_chars(upper.data(), end, number).ptr != end) return std::nullopt;
  return number;
}

// The table of a code page iconv knows, converted exactly: each byte as iconv
// reads it (a byte it cannot read as the control character of the same value,
// as Windows reads 0x81 in Windows-1252), each of those characters written as
// its byte, every other one as "?". Nullopt when iconv does not know the name.
std::optional<CodePageTable> IconvTable(const std::string& name) {
  const iconv_t cd = iconv_open("UTF-32LE", name.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  CodePageTable table;
  std::fill(table.fromUnicode.begin(), table.fromUnicode.end(), static_cast<std::uint8_t>(kDefaultChar));
  for (std::size_t b = 0; b < table.toUnicode.size(); ++b) {
    char in = static_cast<char>(b);
    std::array<unsigned char, 2 * kUtf32Bytes> out{};
    char* inPtr = &in;
    char* outPtr = reinterpret_cast<char*>(out.data());
    size_t inLeft = 1, outLeft = out.size();
    char32_t cp = static_cast<char32_t>(b);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1) &&
        outLeft == out.size() - kUtf32Bytes) {
      cp = 0;
      for (std::size_t k = kUtf32Bytes; k-- > 0;) cp = (cp << kByteBits) | out[k];
    }
    if (cp >= kFirstSupplementary) cp = static_cast<char32_t>(b);  // no single-byte code page holds one
    table.toUnicode[b] = static_cast<char16_t>(cp);
  }
  iconv_close(cd);
  for (std::size_t b = table.toUnicode.size(); b-- > 0;) {
    table.fromUnicode[table.toUnicode[b]] = static_cast<std::uint8_t>(b);
  }
  return table;
}

CodePageTable SystemTable() {
  const char* env = std::getenv("QUILLMARK_CODEPAGE");
  const std::string name = env == nullptr ? "" : env;
  if (name.empty()) return *codepage::WindowsTable(kDefaultCodePage);
  const std::optional<unsigned> number = WindowsNumber(name);
  if (number) {
    if (std::optional<CodePageTable> table = codepage::WindowsTable(*number)) return *table;
  }
  // A plain number names the code page to iconv as CP<number>.
  std::optional<CodePageTable> table = IconvTable(number && std::isdigit(static_cast<unsigned char>(name[0]))
                                                      ? "CP" + name
                                                      : name);
  return table ? *table : *codepage::WindowsTable(kDefaultCodePage);
}

const CodePageTable& Table() {
  static const CodePageTable table = SystemTable();
  return table;
}

}  // namespace

std::string ToAnsi(std::string_view utf8) {
  const CodePageTable& t = Table();
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    if (static_cast<unsigned char>(utf8[i]) < kFirstNonAscii) {
      out += utf8[i++];
      continue;
    }
    // A malformed sequence arrives as U+FFFD. A character beyond U+FFFF is
    // written as Windows writes its two UTF-16 units, one at a time.
    const char32_t cp = text::DecodeUtf8(utf8, i);
    if (cp < kFirstSupplementary) {
      out += static_cast<char>(t.fromUnicode[cp]);
    } else {
      const char32_t payload = cp - kFirstSupplementary;
      out += static_cast<char>(t.fromUnicode[kHighSurrogateFirst + (payload >> kSurrogatePayloadBits)]);
      out += static_cast<char>(t.fromUnicode[kLowSurrogateFirst + (payload & kSurrogatePayloadMask)]);
    }
  }
  return out;
}

std::string FromAnsi(std::string_view ansi) {
  const CodePageTable& t = Table();
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

std::optional<CodePageTable> ReadCodePageTable(unsigned codePage) { return codepage::WindowsTable(codePage); }

}  // namespace qm::platform
