// POSIX stand-in for the ANSI code page: Windows-1252 unless QUILLMARK_CODEPAGE
// names another. A Windows code page, named as Windows numbers it (1250,
// CP1250 or WINDOWS-1250, in any case; 932, 936, 949 and 950 for Japanese,
// Chinese and Korean), is converted with Windows' own tables, look-alikes
// included, so that a run writes the bytes the exe writes on Windows; 65001
// (or UTF-8) is UTF-8; any other single-byte code page that iconv knows
// (ISO-8859-2, KOI8-R...) is converted exactly, "?" for every character it
// lacks. Any other name is refused: Windows-1252 in its place would turn every
// letter outside it into "?" without a word.
#include "platform/codepage.h"

#include <iconv.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdlib>

#include "platform/common/codepage_tables.h"
#include "platform/common/text.h"

namespace qm::platform {
namespace {

constexpr unsigned kDefaultCodePage = 1252;
constexpr unsigned kIconvCodePage = 0;
constexpr char kDefaultChar = '?';
constexpr std::size_t kFirstNonAscii = 0x80;
constexpr char32_t kFirstSupplementary = 0x10000;
constexpr std::size_t kUtf32Bytes = 4;
constexpr unsigned kByteBits = 8;
constexpr std::uint16_t kLastSingleByte = 0xFF;

std::string Upper(std::string_view name) {
  std::string upper(name);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper;
}

// The number of a Windows code page name: "1250", "CP1250", "WINDOWS-1250".
std::optional<unsigned> WindowsNumber(std::string_view name) {
  std::string upper = Upper(name);
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

// How iconv reads one byte on its own.
enum class Read { Character, Unreadable, Incomplete };
struct ByteRead {
  Read read;
  char32_t character = 0;
};

ByteRead IconvRead(iconv_t cd, unsigned char byte) {
  char in = static_cast<char>(byte);
  std::array<unsigned char, 2 * kUtf32Bytes> out{};
  char* inPtr = &in;
  char* outPtr = reinterpret_cast<char*>(out.data());
  size_t inLeft = 1, outLeft = out.size();
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  const bool failed = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1);
  // EINVAL: the byte begins a character of several bytes (or a shift sequence).
  if (failed && errno == EINVAL) return {Read::Incomplete};
  if (failed || outLeft != out.size() - kUtf32Bytes) return {Read::Unreadable};
  char32_t cp = 0;
  for (std::size_t k = kUtf32Bytes; k-- > 0;) cp = (cp << kByteBits) | out[k];
  return {Read::Character, cp};
}

// The table of a single-byte code page iconv knows, converted exactly: ASCII
// as itself, each other byte as iconv reads it (one it cannot read, or reads
// as more than one UTF-16 unit, as the control character of the same value,
// as Windows reads 0x81 in Windows-1252), each of those characters written as
// its byte (the first byte of two that read alike), every other one as "?".
// Nullopt when iconv does not know the name, or its code page is not one byte
// per character with ASCII below 80 (Shift_JIS, UTF-16, EBCDIC): converted
// byte by byte it would not be exact.
std::optional<CodePageTable> IconvTable(const std::string& name) {
  const iconv_t cd = iconv_open("UTF-32LE", name.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  CodePageTable table;
  std::fill(table.fromUnicode.begin(), table.fromUnicode.end(),
            static_cast<std::uint16_t>(kDefaultChar));
  bool exact = true;
  for (std::size_t b = 0; b < table.toUnicode.size() && exact; ++b) {
    const ByteRead r = IconvRead(cd, static_cast<unsigned char>(b));
    if (b < kFirstNonAscii) {
      exact = r.read == Read::Character && r.character == b;
      table.toUnicode[b] = static_cast<char16_t>(b);
      continue;
    }
    exact = r.read != Read::Incomplete;
    const bool single = r.read == Read::Character && r.character < kFirstSupplementary;
    table.toUnicode[b] = static_cast<char16_t>(single ? r.character : b);
  }
  iconv_close(cd);
  if (!exact) return std::nullopt;
  for (std::size_t b = table.toUnicode.size(); b-- > 0;) {
    table.fromUnicode[table.toUnicode[b]] = static_cast<std::uint16_t>(b);
  }
  return table;
}

// The code page of the system: its number, its table (none for UTF-8), and
// why it was refused.
struct SystemCodePage {
  unsigned number = kDefaultCodePage;
  std::optional<CodePageTable> table = std::nullopt;
  std::optional<std::string> refusal = std::nullopt;
};

SystemCodePage Choose() {
  const char* env = std::getenv("QUILLMARK_CODEPAGE");
  const std::string name = env == nullptr ? "" : env;
  if (name.empty()) return {kDefaultCodePage, codepage::WindowsTable(kDefaultCodePage)};
  const std::string upper = Upper(name);
  const std::optional<unsigned> number = WindowsNumber(name);
  if ((number && *number == kUtf8CodePage) || upper == "UTF-8" || upper == "UTF8") {
    return {kUtf8CodePage, std::nullopt};
  }
  if (number) {
    if (std::optional<CodePageTable> table = codepage::WindowsTable(*number)) return {*number, table};
  }
  // A plain number names the code page to iconv as CP<number> (437, 850...).
  const bool plainNumber = number && std::isdigit(static_cast<unsigned char>(name[0]));
  if (std::optional<CodePageTable> table = IconvTable(plainNumber ? "CP" + name : name)) {
    return {kIconvCodePage, table};
  }
  return {kDefaultCodePage, codepage::WindowsTable(kDefaultCodePage),
          "Die Codepage '" + name +
              "' in QUILLMARK_CODEPAGE wird nicht unterstützt (erwartet die Nummer einer "
              "Windows-Codepage wie 1252, 932 oder 65001)"};
}

const SystemCodePage& System() {
  static const SystemCodePage page = Choose();
  return page;
}

}  // namespace

unsigned AnsiCodePage() { return System().number; }

std::optional<std::string> CodePageRefusal() { return System().refusal; }

std::string ToAnsi(std::string_view utf8) {
  const SystemCodePage& page = System();
  // Unit by unit, as Windows converts: a character beyond U+FFFF is two
  // units, a malformed sequence one U+FFFD; UTF-8 keeps every character.
  const std::u16string units = text::Utf8ToUtf16(utf8);
  if (!page.table) return text::Utf16ToUtf8(units);
  const CodePageTable& t = *page.table;
  std::string out;
  out.reserve(utf8.size());
  for (char16_t unit : units) {
    const std::uint16_t bytes = t.fromUnicode[unit];
    if (bytes > kLastSingleByte) out += static_cast<char>(bytes >> kByteBits);
    out += static_cast<char>(bytes);
  }
  return out;
}

std::string FromAnsi(std::string_view ansi) {
  const SystemCodePage& page = System();
  if (!page.table) return text::Utf16ToUtf8(text::Utf8ToUtf16(ansi));
  const CodePageTable& t = *page.table;
  std::string out;
  out.reserve(ansi.size() + ansi.size() / 8);
  for (std::size_t i = 0; i < ansi.size(); ++i) {
    const auto byte = static_cast<unsigned char>(ansi[i]);
    // A lead byte and the byte after it read as one character, unless that is
    // a NUL (or missing): then the lead byte reads on its own.
    if (t.leadByte[byte] && i + 1 < ansi.size() && ansi[i + 1] != '\0') {
      text::AppendUtf8(out, t.pairs[(byte << kByteBits) | static_cast<unsigned char>(ansi[++i])]);
    } else {
      text::AppendUtf8(out, t.toUnicode[byte]);
    }
  }
  return out;
}

bool IsLeadByte(unsigned char byte) {
  const SystemCodePage& page = System();
  return page.table && page.table->leadByte[byte];
}

std::optional<CodePageTable> ReadCodePageTable(unsigned codePage) {
  return codepage::WindowsTable(codePage);
}

}  // namespace qm::platform
