// POSIX stand-in for the Windows registry: one registry file in the format
// "reg export" writes ("Windows Registry Editor Version 5.00", UTF-16LE), so an
// administrator can export the Outlook keys of a PC, run against them here and
// import the result. Texts are stored as Windows stores them (UTF-16LE); the A
// view converts them to the ANSI code page.
//
// The file is parsed once per process and kept while it stays the same file;
// an exported registry runs to tens of megabytes and a run asks dozens of
// questions. A write changes only the stretch of the file that holds the key
// (every other byte stays, comments included), under a lock against other runs,
// and replaces the file atomically. A file that cannot be parsed is reported
// and never written.
#include "platform/registry.h"

#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/codepage.h"
#include "platform/common/text.h"
#include "platform/error.h"
#include "platform/posix/replace_file.h"

namespace qm::platform::registry {
namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
constexpr std::string_view kHeaderRegedit4 = "REGEDIT4";
constexpr std::string_view kUtf16Bom = "\xFF\xFE";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kBlanks = " \t";
/// Far more than the Outlook keys of any PC; a larger file is refused, not read without end.
constexpr std::size_t kMaxFileBytes = std::size_t{256} << 20;
constexpr std::string_view kMaxFileText = "256 MB";
/// regedit wraps a hex list once a line has reached this many characters, so
/// that with its "\" it stays within 80 columns; continuation lines start with
/// two blanks.
constexpr std::size_t kHexWrapColumn = 77;
constexpr std::string_view kHexIndent = "  ";
constexpr std::size_t kMaxHexDigits = 2;    // per byte of a hex list
constexpr std::size_t kMaxTypeDigits = 8;   // hex(N): N is a 32-bit number
constexpr std::size_t kDwordDigits = 8;
constexpr std::size_t kDwordBytes = 4;
constexpr std::size_t kEnumBufferSize = 255;  // RegEnumKeyA's buffer, in characters
constexpr std::string_view kUtf16Terminator{"\0\0", 2};

enum class Encoding { Utf16Le, Utf8WithBom, Utf8, Ansi };
/// REGEDIT4 files hold the text of hex(2) and hex(7) values in the ANSI code page.
enum class Dialect { Version5, Regedit4 };

struct Value {
  std::uint32_t type = 0;
  std::string data;  // as Windows stores it: text types in UTF-16LE
};

/// A key with its values and subkeys, both found by their upper-case names.
struct Key {
  Key(std::string keyName, Key* parentKey) : name(std::move(keyName)), parent(parentKey) {}
  ~Key();
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;

  std::string name;  // as the file spells it
  Key* parent;
  std::unordered_map<std::string, Value> values;
  std::unordered_map<std::string, std::unique_ptr<Key>> subkeys;
  /// The last block whose key line names this key, after its last deletion.
  std::optional<std::size_t> block;
  /// The last block in the file that names this key or one below it.
  std::size_t lastBlockBelow = 0;
};

// Taken apart level by level: a key nested 20,000 deep would otherwise be
// destroyed by 20,000 nested destructor calls and overflow the stack.
Key::~Key() {
  std::vector<std::unique_ptr<Key>> pending;
  for (auto& [folded, sub] : subkeys) pending.push_back(std::move(sub));
  subkeys.clear();
  while (!pending.empty()) {
    std::unique_ptr<Key> key = std::move(pending.back());
    pending.pop_back();
    for (auto& [folded, sub] : key->subkeys) pending.push_back(std::move(sub));
    key->subkeys.clear();
  }
}

/// A stretch of the file: the head (up to the first key line), then one per key
/// line up to the next. An untouched block is written back byte for byte.
struct Block {
  std::size_t begin = 0, end = 0;   // in Store::bytes
  std::optional<std::string> text;  // UTF-8, once the program changed or added the block
};

struct Store {
  std::string path;
  Encoding encoding = Encoding::Utf16Le;
  Dialect dialect = Dialect::Version5;
  std::string bytes;  // the file as read or last written
  std::vector<Block> blocks;
  std::unique_ptr<Key> top = std::make_unique<Key>("", nullptr);  // the roots are its subkeys
  bool exists = false;
  posix::FileIdentity identity;
  timespec verifiedAt{};  // when bytes were last known to be the file's
};

/// A malformed line; the parser adds file name and line number.
struct Malformed {
  std::string what;
};

[[noreturn]] void ThrowStoreError(const std::string& description) {
  throw Error(kStoreError, "Quillmark", description);
}

[[noreturn]] void Invalid(const std::string& path, std::size_t line, const std::string& what) {
  ThrowStoreError("Die Registrierungsdatei '" + path + "' ist ungültig (Zeile " + std::to_string(line) + "): " + what);
}

std::string FilePath() {
  if (const char* p = std::getenv("QUILLMARK_REGISTRY"); p && *p) return p;
  std::string base;
  if (const char* x = std::getenv("XDG_DATA_HOME"); x && *x) base = x;
  else if (const char* h = std::getenv("HOME"); h && *h) base = std::string(h) + "/.local/share";
  else base = ".";
  return base + "/quillmark/registry.reg";
}

// ---------------------------------------------------------------------------
// Names.

/// The form in which the registry compares names: upper case.
std::string Fold(std::string_view name) { return text::ToUpper(name); }

/// The levels of a key path; empty levels (a trailing or doubled "\") are none.
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

std::string RootName(std::uint32_t root) {
  switch (root) {
    case kClassesRoot: return "HKEY_CLASSES_ROOT";
    case kCurrentUser: return "HKEY_CURRENT_USER";
    case kLocalMachine: return "HKEY_LOCAL_MACHINE";
    case kUsers: return "HKEY_USERS";
    default: return "";
  }
}

/// A root as a key line names it, in full and upper case ("" for no root).
std::string RootName(std::string_view folded) {
  if (folded == "HKCR") return "HKEY_CLASSES_ROOT";
  if (folded == "HKCU") return "HKEY_CURRENT_USER";
  if (folded == "HKLM") return "HKEY_LOCAL_MACHINE";
  if (folded == "HKU") return "HKEY_USERS";
  return folded.starts_with("HKEY_") ? std::string(folded) : "";
}

bool HasLineBreak(std::string_view name) { return name.find_first_of("\r\n") != std::string_view::npos; }

/// A name as an error message shows it: on one line.
std::string Shown(std::string_view name) {
  std::string shown;
  for (char c : name) shown += c == '\r' ? "\\r" : c == '\n' ? "\\n" : std::string(1, c);
  return shown;
}

// ---------------------------------------------------------------------------
// The key tree.

Key* Subkey(Key& key, const std::string& folded) {
  auto it = key.subkeys.find(folded);
  return it == key.subkeys.end() ? nullptr : it->second.get();
}

Key& AddSubkey(Key& key, std::string_view name, const std::string& folded) {
  auto& slot = key.subkeys[folded];
  slot = std::make_unique<Key>(std::string(name), &key);
  return *slot;
}

/// The path of a key in names of the registry: root, then each level.
struct KeyPath {
  std::vector<std::string_view> names;
  std::vector<std::string> folded;
};

/// The levels of "root\path"; root already in full.
KeyPath PathOf(const std::string& root, std::string_view path) {
  KeyPath p;
  p.names.push_back(root);
  p.folded.push_back(root);
  for (std::string_view level : Levels(path)) p.names.push_back(level);
  // Upper case keeps every "\" where it was, so the whole path is folded at once.
  const std::string folded = Fold(path);
  for (std::string_view level : Levels(folded)) p.folded.emplace_back(level);
  if (p.folded.size() != p.names.size()) {
    p.folded.resize(1);
    for (std::size_t i = 1; i < p.names.size(); ++i) p.folded.push_back(Fold(p.names[i]));
  }
  return p;
}

/// The deepest existing key along p, and how many levels of p it covers.
std::pair<Key*, std::size_t> Deepest(Key& top, const KeyPath& p) {
  Key* key = &top;
  std::size_t depth = 0;
  while (depth < p.folded.size()) {
    Key* sub = Subkey(*key, p.folded[depth]);
    if (sub == nullptr) break;
    key = sub;
    ++depth;
  }
  return {key, depth};
}

const Key* Find(Store& store, const KeyPath& p) {
  auto [key, depth] = Deepest(*store.top, p);
  return depth == p.folded.size() ? key : nullptr;
}

std::string FullName(const Key& key) {
  std::vector<const Key*> chain;
  for (const Key* k = &key; k->parent != nullptr; k = k->parent) chain.push_back(k);
  std::string name;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) (name += name.empty() ? "" : "\\") += (*it)->name;
  return name;
}

/// Every stored block number from `from` on moves up by one (a block was inserted there).
void ShiftBlocks(Key& top, std::size_t from) {
  std::vector<Key*> pending{&top};
  while (!pending.empty()) {
    Key* key = pending.back();
    pending.pop_back();
    if (key->block && *key->block >= from) ++*key->block;
    if (key->lastBlockBelow >= from) ++key->lastBlockBelow;
    for (auto& [folded, sub] : key->subkeys) pending.push_back(sub.get());
  }
}

void MarkBlockBelow(Key* key, std::size_t block) {
  for (; key != nullptr; key = key->parent) key->lastBlockBelow = std::max(key->lastBlockBelow, block);
}

// ---------------------------------------------------------------------------
// Encodings.

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

/// Step one of reading: the encoding, by byte-order mark, else UTF-8 when the
/// bytes are UTF-8, else the ANSI code page (REGEDIT4 files).
Encoding DetectEncoding(std::string_view bytes) {
  if (bytes.starts_with(kUtf16Bom)) return Encoding::Utf16Le;
  if (bytes.starts_with(kUtf8Bom)) return Encoding::Utf8WithBom;
  return text::IsValidUtf8(bytes) ? Encoding::Utf8 : Encoding::Ansi;
}

// ---------------------------------------------------------------------------
// Lines.

/// One line of the file as stored: its bytes, the line end (LF or CR LF)
/// excluded, and where the next begins.
struct RawLine {
  std::size_t begin = 0, end = 0, next = 0;
};

/// Step two: the lines of bytes from `from` on, in their encoding.
class RawLines {
 public:
  RawLines(std::string_view bytes, Encoding encoding, std::size_t from)
      : bytes_(bytes), unit_(encoding == Encoding::Utf16Le ? 2 : 1), pos_(from), start_(from) {}

  std::optional<RawLine> Next() {
    if (done_) return std::nullopt;
    for (std::size_t at = pos_;;) {
      at = bytes_.find('\n', at);
      if (at == std::string_view::npos) {
        done_ = true;  // the last line, empty when the file ends with a line end
        return RawLine{pos_, WithoutCarriageReturn(pos_, bytes_.size()), bytes_.size()};
      }
      // In UTF-16LE the line end is the unit 0A 00; a 0A byte elsewhere is half of another character.
      if (unit_ == 1 || ((at - start_) % 2 == 0 && at + 1 < bytes_.size() && bytes_[at + 1] == '\0')) {
        RawLine line{pos_, WithoutCarriageReturn(pos_, at), at + unit_};
        pos_ = line.next;
        return line;
      }
      ++at;
    }
  }

 private:
  std::size_t WithoutCarriageReturn(std::size_t begin, std::size_t end) const {
    if ((end - begin) % unit_ != 0 || end - begin < unit_ || bytes_[end - unit_] != '\r') return end;
    return unit_ == 1 || bytes_[end - 1] == '\0' ? end - unit_ : end;
  }

  std::string_view bytes_;
  std::size_t unit_;
  std::size_t pos_;
  std::size_t start_;
  bool done_ = false;
};

/// A line as the registry reads it: a value line ending in "\" goes on in the
/// next one, whose leading blanks are skipped.
struct LogicalLine {
  std::size_t number = 0;                // of its first line in the file, from 1
  std::size_t begin = 0, end = 0, next = 0;  // bytes: first line's start, last line's end, next line's start
  std::string text;                      // UTF-8
};

std::size_t FirstNonBlank(std::string_view line) { return line.find_first_not_of(kBlanks); }

bool IsValueLine(std::string_view line) {
  const std::size_t b = FirstNonBlank(line);
  return b != std::string_view::npos && (line[b] == '"' || line[b] == '@');
}

/// Step three: logical lines out of raw ones. Only value lines continue: a
/// comment or key line ending in "\" ends there.
class LogicalLines {
 public:
  LogicalLines(std::string_view bytes, Encoding encoding, std::size_t from, std::string path)
      : bytes_(bytes), encoding_(encoding), raw_(bytes, encoding, from), path_(std::move(path)) {}

  std::optional<LogicalLine> Next() {
    std::optional<RawLine> first = raw_.Next();
    if (!first) return std::nullopt;
    LogicalLine line{++number_, first->begin, first->end, first->next, Text(*first)};
    if (!IsValueLine(line.text)) return line;
    while (!line.text.empty() && line.text.back() == '\\') {
      line.text.pop_back();
      std::optional<RawLine> more = raw_.Next();
      if (!more) Invalid(path_, number_, "Datei endet mitten in einer Zeile");
      ++number_;
      std::string continued = Text(*more);
      const std::size_t b = FirstNonBlank(continued);
      line.text.append(continued, b == std::string::npos ? continued.size() : b);
      line.end = more->end;
      line.next = more->next;
    }
    return line;
  }

 private:
  std::string Text(const RawLine& raw) {
    std::string_view bytes = bytes_.substr(raw.begin, raw.end - raw.begin);
    // A cut inside a UTF-16 character leaves an odd byte at the end of the file.
    if (encoding_ == Encoding::Utf16Le && bytes.size() % 2 != 0)
      Invalid(path_, number_, "Datei endet mitten in einem Zeichen");
    return Decode(bytes, encoding_);
  }

  std::string_view bytes_;
  Encoding encoding_;
  RawLines raw_;
  std::string path_;
  std::size_t number_ = 0;
};

// ---------------------------------------------------------------------------
// Key and value lines.

struct KeyLine {
  bool remove = false;  // [-...]
  std::string root;     // in full, upper case
  std::string_view path;  // below the root
};

/// Step four: "[root\path]" or "[-root\path]".
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
    if (!IsHexDigits(digits) || digits.size() > kMaxHexDigits) throw Malformed{"ungültige Hexadezimalfolge"};
    bytes += static_cast<char>(HexNumber(digits));
    if (comma == list.size()) return bytes;
    start = comma + 1;
  }
}

/// What stands right of "=": a value, or nullopt for "-" (delete the value).
std::optional<Value> ParseData(std::string_view data, Dialect dialect) {
  if (data == "-") return std::nullopt;
  Value v;
  if (data.starts_with('"')) {
    std::size_t end = 0;
    std::optional<std::string> s = Quoted(data, end);
    if (!s || !TrimBlanks(data.substr(end)).empty()) throw Malformed{"Zeichenkette nicht abgeschlossen"};
    v.type = kTypeString;
    v.data = text::Utf8ToUtf16Le(*s).append(kUtf16Terminator);
    return v;
  }
  constexpr std::string_view kDword = "dword:";
  constexpr std::string_view kHex = "hex";
  if (StartsWithKeyword(data, kDword)) {
    const std::string_view digits = data.substr(kDword.size());
    if (!IsHexDigits(digits) || digits.size() > kDwordDigits) throw Malformed{"ungültiger DWORD-Wert"};
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
    const std::string_view type = close == std::string_view::npos ? "" : data.substr(first, close - first);
    if (!IsHexDigits(type) || type.size() > kMaxTypeDigits) throw Malformed{"ungültiger Werttyp"};
    v.type = HexNumber(type);
    colon = close + 1;
  }
  if (data.substr(colon, 1) != ":") {
    throw Malformed{colon == kHex.size() ? "unbekannte Wertangabe" : "ungültiger Werttyp"};
  }
  v.data = HexList(data.substr(colon + 1));
  if (dialect == Dialect::Regedit4 && IsTextType(v.type)) v.data = text::Utf8ToUtf16Le(FromAnsi(v.data));
  return v;
}

struct ValueLine {
  std::string name;  // "" for the default value (@)
  std::string_view data;
};

/// Step five: @=data or "name"=data.
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

bool IsBlankOrComment(std::string_view line) {
  const std::size_t b = FirstNonBlank(line);
  return b == std::string_view::npos || line[b] == ';';
}

bool IsKeyLine(std::string_view line) {
  const std::size_t b = FirstNonBlank(line);
  return b != std::string_view::npos && line[b] == '[';
}

// ---------------------------------------------------------------------------
// Reading the file.

/// The registry of a missing file: empty, written as reg export writes.
Store EmptyStore(const std::string& path) {
  Store store;
  store.path = path;
  store.blocks.push_back(Block{0, 0, std::string(kHeader).append(kLineEnd).append(kLineEnd)});
  return store;
}

/// Parses store.bytes into blocks and keys.
void Parse(Store& store) {
  const std::string_view bytes = store.bytes;
  store.encoding = DetectEncoding(bytes);
  const std::size_t bodyBegin = ByteOrderMark(store.encoding).size();
  LogicalLines lines(bytes, store.encoding, bodyBegin, store.path);
  store.blocks = {Block{bodyBegin, bytes.size(), std::nullopt}};
  bool header = false;
  Key* current = nullptr;
  while (std::optional<LogicalLine> line = lines.Next()) {
    if (!header) {
      if (FirstNonBlank(line->text) == std::string::npos) continue;
      if (line->text == kHeaderRegedit4) store.dialect = Dialect::Regedit4;
      else if (line->text != kHeader) Invalid(store.path, line->number, "keine Registrierungsdatei (unbekannte Kopfzeile)");
      header = true;
      continue;
    }
    if (IsBlankOrComment(line->text)) continue;
    try {
      if (IsKeyLine(line->text)) {
        const KeyLine keyLine = ParseKeyLine(line->text);
        store.blocks.back().end = line->begin;
        const std::size_t block = store.blocks.size();
        store.blocks.push_back(Block{line->begin, bytes.size(), std::nullopt});
        const KeyPath p = PathOf(keyLine.root, keyLine.path);
        auto [key, depth] = Deepest(*store.top, p);
        current = nullptr;
        if (keyLine.remove) {
          if (depth == p.folded.size()) {
            key = key->parent;
            key->subkeys.erase(p.folded.back());
          }
          MarkBlockBelow(key, block);
          continue;
        }
        for (; depth < p.folded.size(); ++depth) key = &AddSubkey(*key, p.names[depth], p.folded[depth]);
        key->block = block;
        MarkBlockBelow(key, block);
        current = key;
        continue;
      }
      const ValueLine valueLine = ParseValueLine(line->text);
      if (current == nullptr) throw Malformed{"Wert ohne Schlüssel"};
      std::optional<Value> value = ParseData(valueLine.data, store.dialect);
      if (value) current->values[Fold(valueLine.name)] = std::move(*value);
      else current->values.erase(Fold(valueLine.name));
    } catch (const Malformed& m) {
      Invalid(store.path, line->number, m.what);
    }
  }
  if (!header) Invalid(store.path, 1, "keine Registrierungsdatei (Kopfzeile fehlt)");
}

/// An object that lives until the process ends and is not taken apart then:
/// freeing a large registry's hundred thousand keys at exit cost a quarter of
/// the run, and the process's end returns the memory anyway.
template <typename T>
class NoDestructor {
 public:
  NoDestructor() { new (storage_) T(); }
  T& get() { return *std::launder(reinterpret_cast<T*>(storage_)); }

 private:
  alignas(T) unsigned char storage_[sizeof(T)];
};

std::optional<Store>& Cached() {
  static NoDestructor<std::optional<Store>> store;
  return store.get();
}

/// The registry as the file at path holds it now: the store kept from before
/// while the file is unchanged, else the file parsed anew. A file that is
/// missing or cannot be opened is an empty registry. Throws when it is malformed.
Store& Current(const std::string& path, const posix::OpenedFile& file) {
  std::optional<Store>& cache = Cached();
  if (file.status() != posix::OpenedFile::Status::Opened) return cache.emplace(EmptyStore(path));
  const bool same = cache && cache->exists && cache->path == path && cache->identity == file.Identity();
  if (same && cache->identity.SettledBefore(cache->verifiedAt)) return *cache;
  // Taken before reading: a change from now on gets a later time stamp.
  const timespec now = posix::FileClockNow();
  // A file just written (by this run, or the test that set it up) is
  // compared, not parsed again.
  if (!(cache && cache->exists && cache->path == path && file.Holds(cache->bytes))) {
    std::optional<std::string> bytes = file.ReadAll(kMaxFileBytes);
    if (!bytes && static_cast<std::size_t>(file.Stat().st_size) > kMaxFileBytes) {
      ThrowStoreError("Die Registrierungsdatei '" + path + "' ist größer als " + std::string(kMaxFileText));
    }
    if (!bytes) ThrowStoreError("Die Registrierungsdatei '" + path + "' konnte nicht gelesen werden");
    Store fresh;
    fresh.path = path;
    fresh.bytes = std::move(*bytes);
    Parse(fresh);
    cache.reset();  // one store at a time: a large file's store is most of the memory
    cache.emplace(std::move(fresh));
  }
  cache->exists = true;
  cache->identity = file.Identity();
  cache->verifiedAt = now;
  return *cache;
}

// ---------------------------------------------------------------------------
// Writing.

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
  return s.find_first_of(std::string_view("\0\r\n", 3)) == std::string::npos && text::Utf8ToUtf16Le(s) == units;
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
    column += 3;
    if (column >= kHexWrapColumn) {
      (out += "\\") += kLineEnd;
      out += kHexIndent;
      column = kHexIndent.size();
    }
  }
  return out;
}

/// A value line as reg export writes it (regedit for REGEDIT4 files).
std::string ValueLineText(const std::string& name, const Value& v, Dialect dialect) {
  const std::string start = (name.empty() ? std::string("@") : "\"" + Escape(name) + "\"") + "=";
  if (IsPlainString(v)) {
    const std::string_view units = std::string_view(v.data).substr(0, v.data.size() - kUtf16Terminator.size());
    return start + "\"" + Escape(text::Utf16LeToUtf8(units)) + "\"";
  }
  if (v.type == kTypeDword && v.data.size() == kDwordBytes) {
    std::string digits;
    for (std::size_t i = kDwordBytes; i-- > 0;) digits += HexByte(static_cast<unsigned char>(v.data[i]));
    return start + "dword:" + digits;
  }
  std::string data = v.data;
  if (dialect == Dialect::Regedit4 && IsTextType(v.type)) data = ToAnsi(text::Utf16LeToUtf8(data));
  std::string type = "hex";
  if (v.type != kTypeBinary) {
    char digits[kMaxTypeDigits];
    const auto result = std::to_chars(digits, digits + kMaxTypeDigits, v.type, 16);
    ((type += "(") += std::string_view(digits, static_cast<std::size_t>(result.ptr - digits))) += ")";
  }
  return WrappedHex(start + type + ":", data);
}

std::string BlockText(const Store& store, const Block& block) {
  if (block.text) return *block.text;
  return Decode(std::string_view(store.bytes).substr(block.begin, block.end - block.begin), store.encoding);
}

/// What ends the text's last line so that another can follow: nothing after
/// LF, LF after a lone CR (which would otherwise stay part of the line), else CR LF.
std::string_view LineEndToAdd(std::string_view text) {
  if (text.empty() || text.ends_with('\n')) return {};
  return text.ends_with('\r') ? "\n" : kLineEnd;
}

bool EndsWithBlankLine(std::string_view text) {
  return text.ends_with("\n\r\n") || text.ends_with("\n\n") || text == kLineEnd || text.empty();
}

/// Sets a value in the key's own block: its line replaced where the block has
/// one (the name spelled as there, as Windows keeps it), else added after the
/// block's last value line.
void SpliceValue(Store& store, Block& block, const std::string& name, const Value& value) {
  std::string text = BlockText(store, block);
  const std::string folded = Fold(name);
  LogicalLines lines(text, Encoding::Utf8, 0, store.path);
  std::optional<LogicalLine> match, last;
  std::string spelled = name;
  while (std::optional<LogicalLine> l = lines.Next()) {
    if (IsKeyLine(l->text) && !last) last = l;
    if (!IsValueLine(l->text)) continue;
    try {
      std::string found = ParseValueLine(l->text).name;
      if (Fold(found) == folded) match = l, spelled = std::move(found);
    } catch (const Malformed&) {
    }
    last = l;
  }
  const std::string line = ValueLineText(spelled, value, store.dialect);
  if (match) {
    text.replace(match->begin, match->end - match->begin, line);
  } else if (last) {
    const std::string lineEnd = text.substr(last->end, last->next - last->end);
    if (lineEnd.ends_with('\n')) text.insert(last->next, line + lineEnd);
    else text.insert(last->next, std::string(LineEndToAdd(text.substr(0, last->next))) + line);
  }
  block.text = std::move(text);
}

/// Sets a value of a key that has no block of its own: a new block after the
/// last block below the deepest key that exists (so after any deletion of it),
/// naming only the key itself, as reg import creates the keys above it.
void AddKeyBlock(Store& store, Key& deepest, Key& key, const std::string& line) {
  const std::size_t at = deepest.lastBlockBelow + 1;
  const std::string before = BlockText(store, store.blocks[at - 1]);
  std::string text(LineEndToAdd(before));
  if (!EndsWithBlankLine(before + text)) text += kLineEnd;
  ((((text += "[") += FullName(key)) += "]") += kLineEnd) += line;
  (text += kLineEnd) += kLineEnd;
  ShiftBlocks(*store.top, at);
  store.blocks.insert(store.blocks.begin() + static_cast<std::ptrdiff_t>(at), Block{0, 0, std::move(text)});
  key.block = at;
  MarkBlockBelow(&key, at);
}

void Apply(Store& store, const KeyPath& p, const std::string& name, Value value) {
  auto [deepest, depth] = Deepest(*store.top, p);
  Key* key = deepest;
  for (std::size_t level = depth; level < p.folded.size(); ++level)
    key = &AddSubkey(*key, p.names[level], p.folded[level]);
  if (key->block) SpliceValue(store, store.blocks[*key->block], name, value);
  else AddKeyBlock(store, *deepest, *key, ValueLineText(name, value, store.dialect));
  key->values[Fold(name)] = std::move(value);
}

/// The file's new bytes: version 5 files in UTF-16LE as reg export writes
/// them, REGEDIT4 files in their own encoding. Block ranges are moved to the
/// new bytes, so that the store stands for the file once it is written.
std::string Serialize(Store& store, Encoding& written) {
  written = store.dialect == Dialect::Version5 ? Encoding::Utf16Le : store.encoding;
  std::string bytes(ByteOrderMark(written));
  std::size_t size = store.bytes.size();
  for (const Block& block : store.blocks) size += block.text ? 2 * block.text->size() : 0;
  bytes.reserve(written == store.encoding ? size : 2 * size);  // UTF-16 takes twice the bytes of ASCII
  for (Block& block : store.blocks) {
    const std::size_t begin = bytes.size();
    const std::string_view old = std::string_view(store.bytes).substr(block.begin, block.end - block.begin);
    if (block.text) bytes += Encode(*block.text, written);
    else if (written == store.encoding) bytes += old;
    else bytes += Encode(Decode(old, store.encoding), written);
    block.begin = begin;
    block.end = bytes.size();
  }
  return bytes;
}

// The default location's folder may not exist yet.
void CreateFolders(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos || slash == 0) return;
  const std::string folder = path.substr(0, slash);
  for (std::size_t i = 1; i <= folder.size(); ++i) {
    if (i == folder.size() || folder[i] == '/') ::mkdir(folder.substr(0, i).c_str(), 0777);
  }
}

// The A functions' view of a text value: its UTF-16 code units in the ANSI code page.
std::vector<std::uint8_t> AnsiView(const Value& v) {
  const std::string bytes = IsTextType(v.type) ? ToAnsi(text::Utf16LeToUtf8(v.data)) : v.data;
  return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

}  // namespace

std::optional<RawValue> QueryValue(std::uint32_t root, const std::string& path, const std::string& name) {
  const std::string rootName = RootName(root);
  if (rootName.empty()) return std::nullopt;
  const std::string file = FilePath();
  Store& store = Current(file, posix::OpenedFile::Open(file));
  const Key* key = Find(store, PathOf(rootName, path));
  if (key == nullptr) return std::nullopt;
  auto it = key->values.find(Fold(name));
  if (it == key->values.end()) return std::nullopt;
  return RawValue{it->second.type, AnsiView(it->second)};
}

bool SetValue(std::uint32_t root, const std::string& path, const std::string& name, std::uint32_t type,
              std::span<const std::uint8_t> data) {
  const std::string rootName = RootName(root);
  if (rootName.empty()) return false;
  const std::string file = FilePath();
  // A name across two lines would be written as two lines that no later run
  // (and no reg import) reads back; Windows would take it, the file cannot.
  if (HasLineBreak(path)) {
    ThrowStoreError("Der Registrierungsschlüssel '" + rootName + "\\" + Shown(path) +
                    "' enthält einen Zeilenumbruch und kann nicht in die Registrierungsdatei '" + file +
                    "' geschrieben werden");
  }
  if (HasLineBreak(name)) {
    ThrowStoreError("Der Registrierungswert '" + Shown(name) +
                    "' enthält einen Zeilenumbruch und kann nicht in die Registrierungsdatei '" + file +
                    "' geschrieben werden");
  }
  Value value{type, std::string(data.begin(), data.end())};
  if (IsTextType(type)) value.data = text::Utf8ToUtf16Le(FromAnsi(value.data));
  const KeyPath p = PathOf(rootName, path);
  CreateFolders(file);
  Encoding written = Encoding::Utf16Le;
  timespec verified{};
  std::string bytes;
  std::optional<posix::FileIdentity> identity;
  try {
    identity = posix::UpdateFile(file, [&](const posix::OpenedFile& current) -> std::optional<std::string_view> {
      Store& store = Current(file, current);
      verified = posix::FileClockNow();
      Apply(store, p, name, std::move(value));
      bytes = Serialize(store, written);
      return bytes;
    });
  } catch (...) {
    Cached().reset();
    throw;
  }
  std::optional<Store>& cache = Cached();
  if (!identity || !cache) {
    cache.reset();  // changed in memory but not in the file
    return false;
  }
  cache->bytes = std::move(bytes);
  cache->encoding = written;
  for (Block& block : cache->blocks) block.text.reset();
  cache->exists = true;
  cache->identity = *identity;
  cache->verifiedAt = verified;
  return true;
}

std::optional<std::vector<std::string>> EnumerateSubkeys(std::uint32_t root, const std::string& path) {
  const std::string rootName = RootName(root);
  if (rootName.empty()) return std::nullopt;
  const std::string file = FilePath();
  Store& store = Current(file, posix::OpenedFile::Open(file));
  const Key* key = Find(store, PathOf(rootName, path));
  if (key == nullptr) return std::nullopt;
  // Windows lists subkeys in the order of their upper-case UTF-16 names.
  std::vector<std::pair<std::u16string, std::string>> sorted;
  sorted.reserve(key->subkeys.size());
  for (const auto& [folded, sub] : key->subkeys) sorted.emplace_back(text::Utf8ToUtf16(folded), sub->name);
  std::sort(sorted.begin(), sorted.end());
  std::vector<std::string> names;
  for (auto& [order, name] : sorted) {
    // A name that does not fit the 255-character buffer ends the list.
    if (ToAnsi(name).size() >= kEnumBufferSize) break;
    names.push_back(std::move(name));
  }
  return names;
}

}  // namespace qm::platform::registry
