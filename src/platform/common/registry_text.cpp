// Reading and writing the text of a registry file (see registry_text.h).
#include "platform/common/registry_text.h"

#include <algorithm>
#include <charconv>
#include <unordered_map>

#include "platform/codepage.h"
#include "platform/common/text.h"
#include "platform/error.h"
#include "platform/registry.h"

namespace qm::platform::registry::regtext {
namespace {

constexpr std::string_view kUtf16Bom = "\xFF\xFE";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kBlanks = " \t";
constexpr std::size_t kUtf16Unit = 2;
/// regedit wraps a hex list once a line has reached this many characters, so
/// that with its "\" it stays within 80 columns; continuation lines start with
/// two blanks.
constexpr std::size_t kHexWrapColumn = 77;
constexpr std::string_view kHexIndent = "  ";
constexpr std::size_t kHexByteWidth = 3;   // "xx,"
constexpr std::size_t kMaxHexDigits = 2;   // per byte of a hex list
constexpr std::size_t kMaxTypeDigits = 8;  // hex(N): N is a 32-bit number
constexpr std::size_t kDwordDigits = 8;
constexpr std::size_t kDwordBytes = 4;
constexpr std::string_view kUtf16Terminator{"\0\0", 2};

std::size_t FirstNonBlank(std::string_view line) { return line.find_first_not_of(kBlanks); }

/// A quoted text starting at s[i] == '"', "\" escaping the next character; i
/// ends after the closing quote. nullopt when it is not closed.
std::optional<std::string> Quoted(std::string_view s, std::size_t& i) {
  std::string out;
  for (++i; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 1 < s.size()) {
      out += s[++i];
    } else if (s[i] == '"') {
      ++i;
      return out;
    } else {
      out += s[i];
    }
  }
  return std::nullopt;
}

bool IsHexDigits(std::string_view s) {
  return !s.empty() && s.find_first_not_of("0123456789abcdefABCDEF") == std::string_view::npos;
}

/// The number of at most eight hex digits (checked by the caller).
std::uint32_t HexNumber(std::string_view digits) {
  std::uint32_t n = 0;
  std::from_chars(digits.data(), digits.data() + digits.size(), n, 16);
  return n;
}

/// "dword:", "hex:", "hex(": any case, as regedit takes them.
bool StartsWithKeyword(std::string_view data, std::string_view keyword) {
  return text::StartsWithNoCase(data.substr(0, keyword.size()), keyword);
}

std::string_view TrimBlanks(std::string_view s) {
  const std::size_t b = s.find_first_not_of(kBlanks);
  if (b == std::string_view::npos) return {};
  return s.substr(b, s.find_last_not_of(kBlanks) - b + 1);
}

/// "01,02,ff": bytes of one or two hex digits, separated by commas. One that
/// ends in a comma was cut off (a truncated file, or a continuation into an empty line).
std::string HexList(std::string_view list) {
  std::string bytes;
  if (TrimBlanks(list).empty()) return bytes;
  for (std::size_t start = 0;;) {
    const std::size_t comma = std::min(list.find(',', start), list.size());
    const std::string_view digits = TrimBlanks(list.substr(start, comma - start));
    if (digits.empty() && comma == list.size()) throw Malformed{"unvollständige Hexadezimalfolge"};
    if (!IsHexDigits(digits) || digits.size() > kMaxHexDigits)
      throw Malformed{"ungültige Hexadezimalfolge"};
    bytes += static_cast<char>(HexNumber(digits));
    if (comma == list.size()) return bytes;
    start = comma + 1;
  }
}

std::string Escape(std::string_view s) {
  std::string out;
  for (char c : s) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out;
}

/// A string that "..." can carry: one terminator at its end, no other NUL, no
/// line break, and text that comes back as the same UTF-16 (no lone surrogate).
bool IsPlainString(const Value& v) {
  const std::string_view d = v.data;
  if (v.type != kTypeString || d.size() % 2 != 0 || !d.ends_with(kUtf16Terminator)) return false;
  const std::string_view units = d.substr(0, d.size() - kUtf16Terminator.size());
  const std::string s = text::Utf16LeToUtf8(units);
  return s.find_first_of(std::string_view("\0\r\n", 3)) == std::string::npos &&
         text::Utf8ToUtf16Le(s) == units;
}

std::string HexByte(unsigned char b) {
  constexpr std::string_view kDigits = "0123456789abcdef";
  return {kDigits[b >> 4], kDigits[b & 0x0F]};
}

/// A hex list as regedit writes it after `start` (the line so far): a line
/// that has reached the wrap column (counted in UTF-16 characters, as Windows
/// counts) goes on after "\" in the next one.
std::string WrappedHex(std::string_view start, std::string_view bytes) {
  std::string out(start);
  std::size_t column = text::Utf8ToUtf16(start).size();
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    out += HexByte(static_cast<unsigned char>(bytes[i]));
    if (i + 1 == bytes.size()) break;
    out += ',';
    column += kHexByteWidth;
    if (column >= kHexWrapColumn) {
      (out += "\\") += kLineEnd;
      out += kHexIndent;
      column = kHexIndent.size();
    }
  }
  return out;
}

/// A root as a key line names it, in full and upper case ("" for no root).
std::string RootName(std::string_view folded) {
  if (folded == "HKCR") return "HKEY_CLASSES_ROOT";
  if (folded == "HKCU") return "HKEY_CURRENT_USER";
  if (folded == "HKLM") return "HKEY_LOCAL_MACHINE";
  if (folded == "HKU") return "HKEY_USERS";
  return folded.starts_with("HKEY_") ? std::string(folded) : "";
}

}  // namespace

std::string Decode(std::string_view bytes, Encoding encoding) {
  switch (encoding) {
    case Encoding::Utf16Le: return text::Utf16LeToUtf8(bytes);
    case Encoding::Ansi: return FromAnsi(bytes);
    default: return std::string(bytes);
  }
}

std::string Encode(std::string_view utf8, Encoding encoding) {
  switch (encoding) {
    case Encoding::Utf16Le: return text::Utf8ToUtf16Le(utf8);
    case Encoding::Ansi: return ToAnsi(utf8);
    default: return std::string(utf8);
  }
}

std::string_view ByteOrderMark(Encoding encoding) {
  switch (encoding) {
    case Encoding::Utf16Le: return kUtf16Bom;
    case Encoding::Utf8WithBom: return kUtf8Bom;
    default: return {};
  }
}

Encoding DetectEncoding(std::string_view bytes) {
  if (bytes.starts_with(kUtf16Bom)) return Encoding::Utf16Le;
  if (bytes.starts_with(kUtf8Bom)) return Encoding::Utf8WithBom;
  return text::IsValidUtf8(bytes) ? Encoding::Utf8 : Encoding::Ansi;
}

std::string RootKeyName(std::uint32_t root) {
  switch (root) {
    case kClassesRoot: return "HKEY_CLASSES_ROOT";
    case kCurrentUser: return "HKEY_CURRENT_USER";
    case kLocalMachine: return "HKEY_LOCAL_MACHINE";
    case kUsers: return "HKEY_USERS";
    default: return "";
  }
}

bool HasLineBreak(std::string_view name) {
  return name.find_first_of("\r\n") != std::string_view::npos;
}

std::string Shown(std::string_view name) {
  std::string shown;
  for (char c : name) shown += c == '\r' ? "\\r" : c == '\n' ? "\\n" : std::string(1, c);
  return shown;
}

std::string Fold(std::string_view name) { return text::ToUpper(name); }

std::vector<std::string_view> Levels(std::string_view path) {
  std::vector<std::string_view> levels;
  for (std::size_t start = 0; start <= path.size();) {
    std::size_t end = path.find('\\', start);
    if (end == std::string_view::npos) end = path.size();
    if (end > start) levels.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return levels;
}

LogicalLines::LogicalLines(std::string_view bytes, Encoding encoding, std::size_t from)
    : bytes_(bytes),
      encoding_(encoding),
      unit_(encoding == Encoding::Utf16Le ? kUtf16Unit : 1),
      start_(from),
      pos_(from) {}

std::optional<LogicalLine> LogicalLines::Next() {
  std::optional<Raw> first = NextRaw();
  if (!first) return std::nullopt;
  LogicalLine line{++number_, first->begin, first->end, first->next, Text(*first)};
  // Only value lines go on: a comment or key line ending in "\" ends there.
  if (!IsValueLine(line.text)) return line;
  while (!line.text.empty() && line.text.back() == '\\') {
    line.text.pop_back();
    std::optional<Raw> more = NextRaw();
    if (!more) throw Malformed{"Datei endet mitten in einer Zeile", number_};
    ++number_;
    std::string continued = Text(*more);
    const std::size_t b = FirstNonBlank(continued);
    line.text.append(continued, b == std::string::npos ? continued.size() : b);
    line.end = more->end;
    line.next = more->next;
  }
  return line;
}

std::optional<LogicalLines::Raw> LogicalLines::NextRaw() {
  if (done_) return std::nullopt;
  for (std::size_t at = pos_;;) {
    at = bytes_.find('\n', at);
    if (at == std::string_view::npos) {
      done_ = true;  // the last line, empty when the file ends with a line end
      return Raw{pos_, WithoutCarriageReturn(pos_, bytes_.size()), bytes_.size()};
    }
    // In UTF-16LE the line end is the unit 0A 00; a 0A byte elsewhere is half of another character.
    if (unit_ == 1 ||
        ((at - start_) % kUtf16Unit == 0 && at + 1 < bytes_.size() && bytes_[at + 1] == '\0')) {
      Raw line{pos_, WithoutCarriageReturn(pos_, at), at + unit_};
      pos_ = line.next;
      return line;
    }
    ++at;
  }
}

std::size_t LogicalLines::WithoutCarriageReturn(std::size_t begin, std::size_t end) const {
  if ((end - begin) % unit_ != 0 || end - begin < unit_ || bytes_[end - unit_] != '\r') return end;
  return unit_ == 1 || bytes_[end - 1] == '\0' ? end - unit_ : end;
}

std::string LogicalLines::Text(const Raw& raw) const {
  const std::string_view bytes = bytes_.substr(raw.begin, raw.end - raw.begin);
  // A cut inside a UTF-16 character leaves an odd byte at the end of the file.
  if (encoding_ == Encoding::Utf16Le && bytes.size() % kUtf16Unit != 0) {
    throw Malformed{"Datei endet mitten in einem Zeichen", number_};
  }
  return Decode(bytes, encoding_);
}

bool IsBlankOrComment(std::string_view line) {
  const std::size_t b = FirstNonBlank(line);
  return b == std::string_view::npos || line[b] == ';';
}

bool IsKeyLine(std::string_view line) {
  const std::size_t b = FirstNonBlank(line);
  return b != std::string_view::npos && line[b] == '[';
}

bool IsValueLine(std::string_view line) {
  const std::size_t b = FirstNonBlank(line);
  return b != std::string_view::npos && (line[b] == '"' || line[b] == '@');
}

KeyLine ParseKeyLine(std::string_view line) {
  const std::size_t open = FirstNonBlank(line);
  const std::size_t close = line.rfind(']');
  if (close == std::string_view::npos || close < open) throw Malformed{"Schlüsselzeile ohne ']'"};
  std::string_view inside = line.substr(open + 1, close - open - 1);
  KeyLine key;
  key.remove = inside.starts_with('-');
  if (key.remove) inside.remove_prefix(1);
  const std::vector<std::string_view> levels = Levels(inside);
  if (levels.empty()) throw Malformed{"leerer Schlüssel"};
  const std::string_view root = levels.front();
  key.root = RootName(Fold(root));
  if (key.root.empty()) throw Malformed{"unbekannter Hauptschlüssel '" + std::string(root) + "'"};
  key.path = inside.substr(static_cast<std::size_t>(root.data() - inside.data()) + root.size());
  return key;
}

ValueLine ParseValueLine(std::string_view line) {
  ValueLine v;
  std::size_t i = FirstNonBlank(line);
  if (line[i] == '@') {
    ++i;
  } else {
    std::optional<std::string> name = line[i] == '"' ? Quoted(line, i) : std::nullopt;
    if (!name) throw Malformed{"Wertzeile nicht lesbar"};
    v.name = std::move(*name);
  }
  i = std::min(line.find_first_not_of(kBlanks, i), line.size());
  if (i >= line.size() || line[i] != '=') throw Malformed{"'=' fehlt"};
  v.data = TrimBlanks(line.substr(i + 1));
  return v;
}

std::optional<Value> ParseData(std::string_view data, Dialect dialect) {
  if (data == "-") return std::nullopt;
  Value v;
  if (data.starts_with('"')) {
    std::size_t end = 0;
    std::optional<std::string> s = Quoted(data, end);
    if (!s || !TrimBlanks(data.substr(end)).empty())
      throw Malformed{"Zeichenkette nicht abgeschlossen"};
    v.type = kTypeString;
    v.data = text::Utf8ToUtf16Le(*s).append(kUtf16Terminator);
    return v;
  }
  constexpr std::string_view kDword = "dword:";
  constexpr std::string_view kHex = "hex";
  if (StartsWithKeyword(data, kDword)) {
    const std::string_view digits = data.substr(kDword.size());
    if (!IsHexDigits(digits) || digits.size() > kDwordDigits)
      throw Malformed{"ungültiger DWORD-Wert"};
    std::uint32_t u = HexNumber(digits);
    v.type = kTypeDword;
    for (std::size_t i = 0; i < kDwordBytes; ++i, u >>= 8) v.data += static_cast<char>(u & 0xFF);
    return v;
  }
  if (!StartsWithKeyword(data, kHex)) throw Malformed{"unbekannte Wertangabe"};
  std::size_t colon = kHex.size();
  v.type = kTypeBinary;
  if (data.substr(colon).starts_with('(')) {
    const std::size_t close = data.find(')');
    const std::size_t first = colon + 1;
    const std::string_view type =
        close == std::string_view::npos ? "" : data.substr(first, close - first);
    if (!IsHexDigits(type) || type.size() > kMaxTypeDigits) throw Malformed{"ungültiger Werttyp"};
    v.type = HexNumber(type);
    colon = close + 1;
  }
  if (data.substr(colon, 1) != ":") {
    throw Malformed{colon == kHex.size() ? "unbekannte Wertangabe" : "ungültiger Werttyp"};
  }
  v.data = HexList(data.substr(colon + 1));
  if (dialect == Dialect::Regedit4 && IsTextType(v.type))
    v.data = text::Utf8ToUtf16Le(FromAnsi(v.data));
  return v;
}

std::string ValueLineText(const std::string& name, const Value& v, Dialect dialect) {
  const std::string start = (name.empty() ? std::string("@") : "\"" + Escape(name) + "\"") + "=";
  if (IsPlainString(v)) {
    const std::string_view units =
        std::string_view(v.data).substr(0, v.data.size() - kUtf16Terminator.size());
    return start + "\"" + Escape(text::Utf16LeToUtf8(units)) + "\"";
  }
  if (v.type == kTypeDword && v.data.size() == kDwordBytes) {
    std::string digits;
    for (std::size_t i = kDwordBytes; i-- > 0;)
      digits += HexByte(static_cast<unsigned char>(v.data[i]));
    return start + "dword:" + digits;
  }
  std::string data = v.data;
  if (dialect == Dialect::Regedit4 && IsTextType(v.type)) data = ToAnsi(text::Utf16LeToUtf8(data));
  std::string type = "hex";
  if (v.type != kTypeBinary) {
    char digits[kMaxTypeDigits];
    const auto result = std::to_chars(digits, digits + kMaxTypeDigits, v.type, 16);
    ((type += "(") += std::string_view(digits, static_cast<std::size_t>(result.ptr - digits))) +=
        ")";
  }
  return WrappedHex(start + type + ":", data);
}

std::string_view LineEndToAdd(std::string_view text) {
  if (text.empty() || text.ends_with('\n')) return {};
  return text.ends_with('\r') ? "\n" : kLineEnd;
}

bool EndsWithBlankLine(std::string_view text) {
  return text.ends_with("\n\r\n") || text.ends_with("\n\n") || text == kLineEnd || text.empty();
}

}  // namespace qm::platform::registry::regtext

namespace qm::platform::registry {

namespace {

[[noreturn]] void CannotHold(const std::string& what) {
  throw Error(
      kStoreError, "Quillmark",
      what + " enthält einen Zeilenumbruch und kann nicht in eine .reg-Datei geschrieben werden");
}

}  // namespace

std::vector<ExportedKey> ExportedKeys(std::span<const ExportedValue> values) {
  using namespace regtext;
  std::vector<ExportedKey> keys;
  std::unordered_map<std::string, std::size_t> keyOf;  // folded key name -> index
  for (const ExportedValue& v : values) {
    std::string name = RootKeyName(v.root);
    if (name.empty()) {
      throw Error(kStoreError, "Quillmark", "Unbekannter Hauptschlüssel " + std::to_string(v.root));
    }
    if (HasLineBreak(v.path))
      CannotHold("Der Registrierungsschlüssel '" + name + "\\" + Shown(v.path) + "'");
    if (HasLineBreak(v.name)) CannotHold("Der Registrierungswert '" + Shown(v.name) + "'");
    for (std::string_view level : Levels(v.path)) (name += "\\") += level;
    auto [at, added] = keyOf.try_emplace(Fold(name), keys.size());
    if (added) keys.push_back(ExportedKey{name, {}});
    std::vector<ExportedValue>& list = keys[at->second].values;
    const std::string folded = Fold(v.name);
    auto same = std::find_if(list.begin(), list.end(),
                             [&folded](const ExportedValue& e) { return Fold(e.name) == folded; });
    if (same != list.end()) {
      *same = v;
    } else {
      list.push_back(v);
    }
  }
  return keys;
}

std::string ExportedValueLine(const ExportedValue& v) {
  using namespace regtext;
  Value value{v.type, std::string(v.data.begin(), v.data.end())};
  if (IsTextType(v.type)) value.data = text::Utf8ToUtf16Le(FromAnsi(value.data));
  return ValueLineText(v.name, value, Dialect::Version5);
}

std::string RegFileText(std::span<const ExportedValue> values) {
  using namespace regtext;
  std::string text(kHeader);
  (text += kLineEnd) += kLineEnd;
  for (const ExportedKey& key : ExportedKeys(values)) {
    ((text += "[") += key.name) += "]";
    text += kLineEnd;
    for (const ExportedValue& v : key.values) (text += ExportedValueLine(v)) += kLineEnd;
    text += kLineEnd;
  }
  return text;
}

std::string RegFileBytes(std::string_view text) {
  using namespace regtext;
  return std::string(ByteOrderMark(Encoding::Utf16Le)) + Encode(text, Encoding::Utf16Le);
}

}  // namespace qm::platform::registry
