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
constexpr std::size_t kFirstNonAscii = 0x80;
constexpr char32_t kFirstSupplementary = 0x10000;
constexpr std::size_t kUtf32Bytes = 4;
constexpr unsigned kByteBits = 8;

// The number of a Windows code page name: "1250", "CP1250", "WINDOWS-1250".
std::optional<unsigned> WindowsNumber(std::string_view name) {
  std::string upper(name);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
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

// The character iconv reads the byte as; nullopt when it cannot read it.
std::optional<char32_t> IconvRead(iconv_t cd, unsigned char byte) {
  char in = static_cast<char>(byte);
  std::array<unsigned char, 2 * kUtf32Bytes> out{};
  char* inPtr = &in;
  char* outPtr = reinterpret_cast<char*>(out.data());
  size_t inLeft = 1, outLeft = out.size();
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1) ||
      outLeft != out.size() - kUtf32Bytes) {
    return std::nullopt;
  }
  char32_t cp = 0;
  for (std::size_t k = kUtf32Bytes; k-- > 0;) cp = (cp << kByteBits) | out[k];
  return cp;
}

// The table of a code page iconv knows, converted exactly: ASCII as itself,
// each other byte as iconv reads it (one it cannot read, or reads as more than
// one UTF-16 unit, as the control character of the same value, as Windows
// reads 0x81 in Windows-1252), each of those characters written as its byte
// (the first byte of two that read alike), every other one as "?". Nullopt
// when iconv does not know the name.
std::optional<CodePageTable> IconvTable(const std::string& name) {
  const iconv_t cd = iconv_open("UTF-32LE", name.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  CodePageTable table;
  std::fill(table.fromUnicode.begin(), table.fromUnicode.end(),
            static_cast<std::uint8_t>(kDefaultChar));
  for (std::size_t b = 0; b < table.toUnicode.size(); ++b) {
    const std::optional<char32_t> cp =
        b < kFirstNonAscii ? std::nullopt : IconvRead(cd, static_cast<unsigned char>(b));
    table.toUnicode[b] = static_cast<char16_t>(cp && *cp < kFirstSupplementary ? *cp : b);
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
  const bool plainNumber = number && std::isdigit(static_cast<unsigned char>(name[0]));
  std::optional<CodePageTable> table = IconvTable(plainNumber ? "CP" + name : name);
  return table ? *table : *codepage::WindowsTable(kDefaultCodePage);
}

const CodePageTable& Table() {
  static const CodePageTable table = SystemTable();
  return table;
}

}  // namespace

std::string ToAnsi(std::string_view utf8) {
  // Unit by unit, as Windows converts to a single-byte code page: a character
  // beyond U+FFFF is two units, a malformed sequence one U+FFFD.
  const CodePageTable& t = Table();
  std::string out;
  out.reserve(utf8.size());
  for (char16_t unit : text::Utf8ToUtf16(utf8)) out += static_cast<char>(t.fromUnicode[unit]);
  return out;
}

std::string FromAnsi(std::string_view ansi) {
  const CodePageTable& t = Table();
  std::string out;
  out.reserve(ansi.size() + ansi.size() / 8);
  for (char ch : ansi) text::AppendUtf8(out, t.toUnicode[static_cast<unsigned char>(ch)]);
  return out;
}

std::optional<CodePageTable> ReadCodePageTable(unsigned codePage) {
  return codepage::WindowsTable(codePage);
}

}  // namespace qm::platform
