// POSIX stand-in for GetPrivateProfileStringA / WritePrivateProfileStringA.
// It keeps the Windows reader's rules: names without regard to case, blanks
// around names and values removed, one pair of matching quotes removed, first
// occurrence wins, ";" lines are comments. A write touches only its own line (or
// adds one) and keeps every other byte, as Windows does and Wine does not; it
// replaces the file atomically and keeps its owner, mode and links (the file
// may hold LDAPReaderAccountPassword). Only a regular file is read.
#include "platform/profile.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/codepage.h"
#include "platform/common/text.h"
#include "platform/posix/found_path.h"
#include "platform/posix/replace_file.h"

namespace qm::platform {
namespace {

constexpr const char* kBlanks = " \t\v\f";
constexpr std::string_view kUtf16Bom = "\xFF\xFE";
/// A configuration file runs to a few kilobytes; one larger than this is
/// taken for one that cannot be read, not read without end.
constexpr std::size_t kMaxFileBytes = std::size_t{16} << 20;

std::string Trim(std::string_view s) {
  size_t b = s.find_first_not_of(kBlanks);
  if (b == std::string_view::npos) return {};
  size_t e = s.find_last_not_of(kBlanks);
  return std::string(s.substr(b, e - b + 1));
}

/// A name as Windows compares it: in upper case.
std::string UpperName(std::string_view ansi) { return text::ToUpper(FromAnsi(ansi)); }

/// Names match as Windows matches them: upper case against upper case.
bool SameName(std::string_view fileAnsi, const std::string& wantedUpper) {
  return UpperName(fileAnsi) == wantedUpper;
}

// The file as one text in the ANSI code page, with a flag for UTF-16LE files
// (their text is converted, and converted back when written).
struct FileText {
  bool utf16 = false;
  std::string text;  // ANSI
};

/// The file's text; nullopt when it is missing, no regular file (a FIFO would
/// hang the run, a device never end), too large or unreadable.
std::optional<FileText> Load(const posix::OpenedFile& file) {
  std::optional<std::string> raw = file.ReadAll(kMaxFileBytes);
  if (!raw) return std::nullopt;
  FileText f;
  if (raw->starts_with(kUtf16Bom)) {
    f.utf16 = true;
    // Names and values are compared and returned in the ANSI code page.
    f.text = ToAnsi(text::Utf16LeToUtf8(std::string_view(*raw).substr(kUtf16Bom.size())));
  } else {
    f.text = std::move(*raw);
  }
  return f;
}

std::string Encode(const FileText& f) {
  return f.utf16 ? std::string(kUtf16Bom) + text::Utf8ToUtf16Le(FromAnsi(f.text)) : f.text;
}

// One line of the file: where it starts, its content end and where the next begins.
struct Line {
  size_t begin, end, next;
};

std::vector<Line> SplitLines(const std::string& text) {
  std::vector<Line> lines;
  size_t i = 0;
  while (i < text.size()) {
    size_t e = text.find_first_of("\r\n", i);
    if (e == std::string::npos) {
      lines.push_back({i, text.size(), text.size()});
      break;
    }
    size_t next = e + 1;
    if (text[e] == '\r' && next < text.size() && text[next] == '\n') ++next;
    lines.push_back({i, e, next});
    i = next;
  }
  return lines;
}

enum class Kind { Other, Section, Key };

struct Parsed {
  Kind kind = Kind::Other;
  std::string name;       // section or key name, trimmed (ANSI)
  size_t valueBegin = 0;  // for keys: offset of the value in the file text
};

Parsed ParseLine(const std::string& text, const Line& l) {
  Parsed p;
  std::string_view line(text.data() + l.begin, l.end - l.begin);
  size_t b = line.find_first_not_of(kBlanks);
  if (b == std::string_view::npos) return p;
  if (line[b] == '[') {
    // The last "]" that is a character of its own: in a double-byte code page
    // it is also the second byte of some characters (Japanese "‐" is 81 5D).
    size_t close = std::string_view::npos;
    for (size_t i = b; i < line.size(); i += CharacterLength(line, i)) {
      if (line[i] == ']') close = i;
    }
    std::string_view name = close != std::string_view::npos && close > b
                                ? line.substr(b + 1, close - b - 1)
                                : line.substr(b + 1);
    p.kind = Kind::Section;
    p.name = Trim(name);
    return p;
  }
  if (line[b] == ';') return p;
  size_t eq = line.find('=', b);
  if (eq == std::string_view::npos) return p;
  p.kind = Kind::Key;
  p.name = Trim(line.substr(b, eq - b));
  p.valueBegin = l.begin + eq + 1;
  return p;
}

// Where section and key stand in the file.
struct Location {
  std::optional<size_t> sectionLine;  // index of the first matching section line
  size_t lastContentLine = 0;         // last non-blank line of that section
  std::optional<size_t> keyLine;      // first matching key line in that section
  size_t valueBegin = 0;
};

Location Find(const std::string& text, const std::vector<Line>& lines,
              const std::string& section, const std::string& key) {
  Location loc;
  const std::string wantedSection = text::ToUpper(section);
  const std::string wantedKey = text::ToUpper(key);
  bool inSection = false;
  for (size_t i = 0; i < lines.size(); ++i) {
    Parsed p = ParseLine(text, lines[i]);
    if (p.kind == Kind::Section) {
      if (inSection) break;  // a later section of the same name is ignored
      if (SameName(p.name, wantedSection)) {
        inSection = true;
        loc.sectionLine = i;
        loc.lastContentLine = i;
      }
      continue;
    }
    if (!inSection) continue;
    std::string_view raw(text.data() + lines[i].begin, lines[i].end - lines[i].begin);
    if (raw.find_first_not_of(kBlanks) != std::string_view::npos) loc.lastContentLine = i;
    if (p.kind == Kind::Key && !loc.keyLine && SameName(p.name, wantedKey)) {
      loc.keyLine = i;
      loc.valueBegin = p.valueBegin;
    }
  }
  return loc;
}

// The file's sections and keys as the readers look them up: by name without
// regard to case, the first section and the first key of each name. A run
// reads dozens of keys, and a thousand signature rules read thousands, so the
// file is taken apart once and kept while it stays the same file.
struct Index {
  struct Section {
    std::vector<std::string> keyNames;                    // in file order, UTF-8
    std::unordered_map<std::string, std::string> values;  // upper-case name -> raw ANSI value
  };
  std::vector<std::string> sectionNames;  // in file order, UTF-8
  std::unordered_map<std::string, Section> sections;

  const Section* Find(const std::string& name) const {
    const auto it = sections.find(UpperName(ToAnsi(name)));
    return it != sections.end() ? &it->second : nullptr;
  }
};

Index BuildIndex(const std::string& text) {
  Index index;
  Index::Section* current = nullptr;
  for (const Line& l : SplitLines(text)) {
    Parsed p = ParseLine(text, l);
    if (p.kind == Kind::Section) {
      index.sectionNames.push_back(FromAnsi(p.name));
      // A later section of the same name is ignored.
      auto [it, added] = index.sections.try_emplace(UpperName(p.name));
      current = added ? &it->second : nullptr;
    } else if (p.kind == Kind::Key && current != nullptr) {
      current->keyNames.push_back(FromAnsi(p.name));
      current->values.try_emplace(UpperName(p.name), text.substr(p.valueBegin, l.end - p.valueBegin));
    }
  }
  return index;
}

// The index of the file last read, kept while the file stays the same.
struct CachedIndex {
  std::string path;
  posix::FileIdentity identity;
  timespec loadedAt{};
  std::shared_ptr<const Index> index;
};

/// The file's index; nullptr when it cannot be read.
std::shared_ptr<const Index> LoadIndex(const std::string& file) {
  static std::mutex mutex;
  static CachedIndex cache;
  const std::string path = posix::FoundNativePath(file);
  const posix::OpenedFile opened = posix::OpenedFile::Open(path);
  if (opened.status() != posix::OpenedFile::Status::Opened) return nullptr;
  const posix::FileIdentity identity = opened.Identity();
  std::lock_guard<std::mutex> lock(mutex);
  if (cache.index && cache.path == path && cache.identity == identity &&
      identity.SettledBefore(cache.loadedAt)) {
    return cache.index;
  }
  const timespec now = posix::FileClockNow();
  std::optional<FileText> f = Load(opened);
  if (!f) return nullptr;
  cache = {path, identity, now, std::make_shared<const Index>(BuildIndex(f->text))};
  return cache.index;
}

}  // namespace

std::string ReadProfileValue(const std::string& file, const std::string& section,
                              const std::string& key, std::size_t bufferSize) {
  if (bufferSize == 0) return {};
  const std::shared_ptr<const Index> index = LoadIndex(file);
  if (!index) return {};
  const Index::Section* s = index->Find(section);
  if (s == nullptr) return {};
  const auto it = s->values.find(UpperName(ToAnsi(key)));
  if (it == s->values.end()) return {};
  std::string value = Trim(it->second);
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  // Windows hands the value over as a C string: a NUL byte in the file ends it.
  value.resize(std::min(value.find('\0'), value.size()));
  // Cut as Windows cuts into the buffer, but never into a character.
  value.resize(WholeCharacters(value, bufferSize - 1));
  return FromAnsi(value);
}

std::vector<std::string> ReadProfileSectionNames(const std::string& file) {
  const std::shared_ptr<const Index> index = LoadIndex(file);
  return index ? index->sectionNames : std::vector<std::string>{};
}

std::vector<std::string> ReadProfileKeyNames(const std::string& file, const std::string& section) {
  const std::shared_ptr<const Index> index = LoadIndex(file);
  const Index::Section* s = index ? index->Find(section) : nullptr;
  return s != nullptr ? s->keyNames : std::vector<std::string>{};
}

bool WriteProfileValue(const std::string& file, const std::string& section, const std::string& key,
                       const std::string& value) {
  const std::string ansiSection = ToAnsi(section);
  const std::string ansiKey = ToAnsi(key);
  const std::string ansiValue = ToAnsi(value);
  std::string bytes;
  return posix::UpdateFile(
             posix::FoundNativePath(file),
             [&](const posix::OpenedFile& current) -> std::optional<std::string_view> {
               FileText f;
               if (current.status() == posix::OpenedFile::Status::Opened) {
                 std::optional<FileText> loaded = Load(current);
                 if (!loaded) return std::nullopt;
                 f = std::move(*loaded);
               }
               std::string& text = f.text;
               std::vector<Line> lines = SplitLines(text);
               Location loc = Find(text, lines, FromAnsi(ansiSection), FromAnsi(ansiKey));
               auto endLine = [&text](size_t at) {
                 // A new line needs the previous one ended first.
                 if (at > 0 && text[at - 1] != '\n' && text[at - 1] != '\r') {
                   text.insert(at, "\r\n");
                   return at + 2;
                 }
                 return at;
               };
               if (loc.keyLine) {
                 const Line& l = lines[*loc.keyLine];
                 text.replace(loc.valueBegin, l.end - loc.valueBegin, ansiValue);
               } else if (loc.sectionLine) {
                 size_t at = lines[loc.lastContentLine].next;
                 at = endLine(at);
                 text.insert(at, ansiKey + "=" + ansiValue + "\r\n");
               } else {
                 size_t at = endLine(text.size());
                 text.insert(at, "[" + ansiSection + "]\r\n" + ansiKey + "=" + ansiValue + "\r\n");
               }
               bytes = Encode(f);
               return bytes;
             })
      .has_value();
}

}  // namespace qm::platform
