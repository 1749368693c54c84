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
#include <cstdlib>
#include <functional>
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
#include "platform/common/registry_text.h"
#include "platform/posix/replace_file.h"

namespace qm::platform::registry {
namespace {

using namespace regtext;

/// Far more than the Outlook keys of any PC; a larger file is refused, not read without end.
constexpr std::size_t kMaxFileBytes = std::size_t{256} << 20;
constexpr std::string_view kMaxFileText = "256 MB";
constexpr std::size_t kEnumBufferSize = 255;  // RegEnumKeyA's buffer, in characters

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

[[noreturn]] void ThrowStoreError(const std::string& description) {
  throw Error(kStoreError, "Quillmark", description);
}

[[noreturn]] void Invalid(const std::string& path, std::size_t line, const std::string& what) {
  ThrowStoreError("Die Registrierungsdatei '" + path + "' ist ungültig (Zeile " +
                  std::to_string(line) + "): " + what);
}

std::string FilePath() {
  if (const char* p = std::getenv("QUILLMARK_REGISTRY"); p && *p) return p;
  std::string base = ".";
  if (const char* x = std::getenv("XDG_DATA_HOME"); x && *x) {
    base = x;
  } else if (const char* h = std::getenv("HOME"); h && *h) {
    base = std::string(h) + "/.local/share";
  }
  return base + "/quillmark/registry.reg";
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
  for (auto it = chain.rbegin(); it != chain.rend(); ++it)
    (name += name.empty() ? "" : "\\") += (*it)->name;
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
  for (; key != nullptr; key = key->parent)
    key->lastBlockBelow = std::max(key->lastBlockBelow, block);
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

/// A key line starts a block: the key it names is created (with the keys
/// above it), or deleted with everything below it. Returns the key that the
/// value lines after it go to; nullptr after a deletion.
Key* EnterKeyLine(Store& store, const LogicalLine& line) {
  const KeyLine keyLine = ParseKeyLine(line.text);
  store.blocks.back().end = line.begin;
  const std::size_t block = store.blocks.size();
  store.blocks.push_back(Block{line.begin, store.bytes.size(), std::nullopt});
  const KeyPath p = PathOf(keyLine.root, keyLine.path);
  auto [key, depth] = Deepest(*store.top, p);
  if (keyLine.remove) {
    if (depth == p.folded.size()) {
      key = key->parent;
      key->subkeys.erase(p.folded.back());
    }
    MarkBlockBelow(key, block);
    return nullptr;
  }
  for (; depth < p.folded.size(); ++depth) key = &AddSubkey(*key, p.names[depth], p.folded[depth]);
  key->block = block;
  MarkBlockBelow(key, block);
  return key;
}

/// A value line sets or deletes a value of the key of the line before.
void EnterValueLine(const Store& store, Key* key, const LogicalLine& line) {
  const ValueLine valueLine = ParseValueLine(line.text);
  if (key == nullptr) throw Malformed{"Wert ohne Schlüssel"};
  std::optional<Value> value = ParseData(valueLine.data, store.dialect);
  if (value) {
    key->values[Fold(valueLine.name)] = std::move(*value);
  } else {
    key->values.erase(Fold(valueLine.name));
  }
}

/// Parses store.bytes into blocks and keys: the header line, then key lines
/// and value lines. Throws the store error with file name and line.
void Parse(Store& store) {
  store.encoding = DetectEncoding(store.bytes);
  const std::size_t bodyBegin = ByteOrderMark(store.encoding).size();
  store.blocks = {Block{bodyBegin, store.bytes.size(), std::nullopt}};
  LogicalLines lines(store.bytes, store.encoding, bodyBegin);
  std::size_t number = 1;
  bool header = false;
  Key* current = nullptr;
  try {
    while (std::optional<LogicalLine> line = lines.Next()) {
      number = line->number;
      if (!header) {
        if (line->text.find_first_not_of(" \t") == std::string::npos) continue;
        if (line->text == kHeaderRegedit4) store.dialect = Dialect::Regedit4;
        else if (line->text != kHeader)
          throw Malformed{"keine Registrierungsdatei (unbekannte Kopfzeile)"};
        header = true;
      } else if (IsKeyLine(line->text)) {
        current = EnterKeyLine(store, *line);
      } else if (!IsBlankOrComment(line->text)) {
        EnterValueLine(store, current, *line);
      }
    }
    if (!header) throw Malformed{"keine Registrierungsdatei (Kopfzeile fehlt)", 1};
  } catch (const Malformed& m) {
    Invalid(store.path, m.line != 0 ? m.line : number, m.what);
  }
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

// The writes of the open batch (WriteBatch), in order: each applied to the
// store in memory as it comes, and to the file once, when the batch ends.
struct PendingWrite {
  std::string root;  // in full
  std::string path;  // the names of the key path point into it
  std::string name;
  Value value;
};
struct OpenBatch {
  bool open = false;
  std::vector<PendingWrite> writes;
};
OpenBatch& Batch() {
  static NoDestructor<OpenBatch> batch;
  return batch.get();
}

// A store read anew from the file holds none of the open batch's writes yet.
void ApplyPending(Store& store);

/// The registry as the file at path holds it now: the store kept from before
/// while the file is unchanged, else the file parsed anew. A file that is
/// missing or cannot be opened is an empty registry. Throws when it is malformed.
Store& Current(const std::string& path, const posix::OpenedFile& file) {
  std::optional<Store>& cache = Cached();
  if (file.status() != posix::OpenedFile::Status::Opened) {
    Store& empty = cache.emplace(EmptyStore(path));
    ApplyPending(empty);
    return empty;
  }
  const bool same = cache && cache->exists && cache->path == path &&
                    cache->identity == file.Identity();
  if (same && cache->identity.SettledBefore(cache->verifiedAt)) return *cache;
  // Taken before reading: a change from now on gets a later time stamp.
  const timespec now = posix::FileClockNow();
  // A file just written (by this run, or the test that set it up) is
  // compared, not parsed again.
  if (!(cache && cache->exists && cache->path == path && file.Holds(cache->bytes))) {
    std::optional<std::string> bytes = file.ReadAll(kMaxFileBytes);
    if (!bytes && static_cast<std::size_t>(file.Stat().st_size) > kMaxFileBytes) {
      ThrowStoreError("Die Registrierungsdatei '" + path + "' ist größer als " +
                      std::string(kMaxFileText));
    }
    if (!bytes) {
      ThrowStoreError("Die Registrierungsdatei '" + path + "' konnte nicht gelesen werden");
    }
    Store fresh;
    fresh.path = path;
    fresh.bytes = std::move(*bytes);
    Parse(fresh);
    cache.reset();  // one store at a time: a large file's store is most of the memory
    cache.emplace(std::move(fresh));
    ApplyPending(*cache);
  }
  cache->exists = true;
  cache->identity = file.Identity();
  cache->verifiedAt = now;
  return *cache;
}

// ---------------------------------------------------------------------------
// Writing.

std::string BlockText(const Store& store, const Block& block) {
  if (block.text) return *block.text;
  return Decode(std::string_view(store.bytes).substr(block.begin, block.end - block.begin),
                store.encoding);
}

/// Sets a value in the key's own block: its line replaced where the block has
/// one (the name spelled as there, as Windows keeps it), else added after the
/// block's last value line.
void SpliceValue(Store& store, Block& block, const std::string& name, const Value& value) {
  std::string text = BlockText(store, block);
  const std::string folded = Fold(name);
  LogicalLines lines(text, Encoding::Utf8, 0);
  std::optional<LogicalLine> match, last;
  std::string spelled = name;
  while (std::optional<LogicalLine> l = lines.Next()) {
    if (IsKeyLine(l->text) && !last) last = l;
    if (!IsValueLine(l->text)) continue;
    try {
      std::string found = ParseValueLine(l->text).name;
      if (Fold(found) == folded) {
        match = l;
        spelled = std::move(found);
      }
    } catch (const Malformed&) {
    }
    last = l;
  }
  const std::string line = ValueLineText(spelled, value, store.dialect);
  if (match) {
    text.replace(match->begin, match->end - match->begin, line);
  } else if (last) {
    const std::string lineEnd = text.substr(last->end, last->next - last->end);
    if (lineEnd.ends_with('\n')) {
      text.insert(last->next, line + lineEnd);
    } else {
      text.insert(last->next, std::string(LineEndToAdd(text.substr(0, last->next))) + line);
    }
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
  store.blocks.insert(store.blocks.begin() + static_cast<std::ptrdiff_t>(at),
                      Block{0, 0, std::move(text)});
  key.block = at;
  MarkBlockBelow(&key, at);
}

void Apply(Store& store, const KeyPath& p, const std::string& name, Value value) {
  auto [deepest, depth] = Deepest(*store.top, p);
  Key* key = deepest;
  for (std::size_t level = depth; level < p.folded.size(); ++level)
    key = &AddSubkey(*key, p.names[level], p.folded[level]);
  if (key->block) {
    SpliceValue(store, store.blocks[*key->block], name, value);
  } else {
    AddKeyBlock(store, *deepest, *key, ValueLineText(name, value, store.dialect));
  }
  key->values[Fold(name)] = std::move(value);
}

void ApplyPending(Store& store) {
  for (const PendingWrite& w : Batch().writes)
    Apply(store, PathOf(w.root, w.path), w.name, w.value);
}

/// The file's new bytes: version 5 files in UTF-16LE as reg export writes
/// them, REGEDIT4 files in their own encoding. Block ranges are moved to the
/// new bytes, so that the store stands for the file once it is written.
std::string Serialize(Store& store, Encoding& written) {
  written = store.dialect == Dialect::Version5 ? Encoding::Utf16Le : store.encoding;
  std::string bytes(ByteOrderMark(written));
  std::size_t size = store.bytes.size();
  for (const Block& block : store.blocks) size += block.text ? 2 * block.text->size() : 0;
  bytes.reserve(written == store.encoding ? size
                                          : 2 * size);  // UTF-16 takes twice the bytes of ASCII
  for (Block& block : store.blocks) {
    const std::size_t begin = bytes.size();
    const std::string_view old =
        std::string_view(store.bytes).substr(block.begin, block.end - block.begin);
    if (block.text) {
      bytes += Encode(*block.text, written);
    } else if (written == store.encoding) {
      bytes += old;
    } else {
      bytes += Encode(Decode(old, store.encoding), written);
    }
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

/// The key at root\path in the file as it is now; nullptr when it does not exist.
const Key* ExistingKey(std::uint32_t root, const std::string& path) {
  const std::string rootName = RootKeyName(root);
  if (rootName.empty()) return nullptr;
  const std::string file = FilePath();
  return Find(Current(file, posix::OpenedFile::Open(file)), PathOf(rootName, path));
}

}  // namespace

std::optional<RawValue> QueryValue(std::uint32_t root, const std::string& path,
                                   const std::string& name) {
  const Key* key = ExistingKey(root, path);
  if (key == nullptr) return std::nullopt;
  auto it = key->values.find(Fold(name));
  if (it == key->values.end()) return std::nullopt;
  return RawValue{it->second.type, AnsiView(it->second)};
}

namespace {

bool WriteStore(const std::string& file, const std::function<void(Store&)>& change);

// The value as Windows stores it, written into the file.
bool StoreValue(std::uint32_t root, const std::string& path, const std::string& name, Value value) {
  const std::string rootName = RootKeyName(root);
  if (rootName.empty()) return false;
  const std::string file = FilePath();
  // A name across two lines would be written as two lines that no later run
  // (and no reg import) reads back; Windows would take it, the file cannot.
  if (HasLineBreak(path)) {
    ThrowStoreError("Der Registrierungsschlüssel '" + rootName + "\\" + Shown(path) +
                    "' enthält einen Zeilenumbruch und kann nicht in die Registrierungsdatei '" +
                    file + "' geschrieben werden");
  }
  if (HasLineBreak(name)) {
    ThrowStoreError("Der Registrierungswert '" + Shown(name) +
                    "' enthält einen Zeilenumbruch und kann nicht in die Registrierungsdatei '" +
                    file + "' geschrieben werden");
  }
  const KeyPath p = PathOf(rootName, path);
  if (Batch().open) {
    Store& store = Current(file, posix::OpenedFile::Open(file));
    Apply(store, p, name, value);
    Batch().writes.push_back(PendingWrite{rootName, path, name, std::move(value)});
    return true;
  }
  return WriteStore(file, [&](Store& store) { Apply(store, p, name, std::move(value)); });
}

}  // namespace

WriteBatch::WriteBatch() {
  joined_ = Batch().open;
  Batch().open = true;
}

WriteBatch::~WriteBatch() {
  if (joined_) return;
  if (!committed_) {
    try {
      WriteStore(FilePath(), [](Store&) {});
    } catch (...) {
      // An exception is on its way already: the run reports that one.
    }
  }
  Batch() = OpenBatch{};
}

bool WriteBatch::Commit() {
  if (joined_ || committed_) return true;
  committed_ = true;
  const bool any = !Batch().writes.empty();
  Batch().open = false;
  if (!any) return true;
  try {
    const bool written = WriteStore(FilePath(), [](Store&) {});
    Batch().writes.clear();
    return written;
  } catch (...) {
    Batch().writes.clear();
    throw;
  }
}

namespace {

// The store as the file holds it now (with the open batch's writes), changed
// by change and written back in one step against other writers. False when
// nothing was written.
bool WriteStore(const std::string& file, const std::function<void(Store&)>& change) {
  CreateFolders(file);
  Encoding written = Encoding::Utf16Le;
  timespec verified{};
  std::string bytes;
  std::optional<posix::FileIdentity> identity;
  try {
    identity = posix::UpdateFile(
        file, [&](const posix::OpenedFile& current) -> std::optional<std::string_view> {
          Store& store = Current(file, current);
          verified = posix::FileClockNow();
          change(store);
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

}  // namespace

bool SetValue(std::uint32_t root, const std::string& path, const std::string& name,
              std::uint32_t type, std::span<const std::uint8_t> data) {
  Value value{type, std::string(data.begin(), data.end())};
  if (IsTextType(type)) value.data = text::Utf8ToUtf16Le(FromAnsi(value.data));
  return StoreValue(root, path, name, std::move(value));
}

bool SetTextValue(std::uint32_t root, const std::string& path, const std::string& name,
                  const std::string& text) {
  return StoreValue(root, path, name, Value{kTypeString, text::Utf8ToUtf16Le(text + '\0')});
}

std::optional<std::vector<std::string>> EnumerateSubkeys(std::uint32_t root,
                                                         const std::string& path) {
  const Key* key = ExistingKey(root, path);
  if (key == nullptr) return std::nullopt;
  // Windows lists subkeys in the order of their upper-case UTF-16 names.
  std::vector<std::pair<std::u16string, std::string>> sorted;
  sorted.reserve(key->subkeys.size());
  for (const auto& [folded, sub] : key->subkeys)
    sorted.emplace_back(text::Utf8ToUtf16(folded), sub->name);
  std::sort(sorted.begin(), sorted.end());
  std::vector<std::string> names;
  for (const auto& [order, name] : sorted) {
    // A name that does not fit the 255-character buffer ends the list; the A
    // function lists the others in the ANSI code page, look-alikes included.
    const std::string ansi = ToAnsi(name);
    if (ansi.size() >= kEnumBufferSize) break;
    names.push_back(FromAnsi(ansi));
  }
  return names;
}

}  // namespace qm::platform::registry
