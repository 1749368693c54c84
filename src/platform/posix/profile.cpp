// POSIX stand-in for GetPrivateProfileStringA / WritePrivateProfileStringA.
// It keeps the Windows reader's rules: names without regard to case, blanks
// around names and values removed, one pair of matching quotes removed, first
// occurrence wins, ";" lines are comments. A write touches only its own line (or
// adds one) and keeps every other byte, as Windows does and Wine does not.
#include "platform/profile.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <vector>

#include "platform/codepage.h"
#include "platform/paths.h"

namespace qm::platform {
namespace {

constexpr const char* kBlanks = " \t\v\f";

std::string Trim(std::string_view s) {
  size_t b = s.find_first_not_of(kBlanks);
  if (b == std::string_view::npos) return {};
  size_t e = s.find_last_not_of(kBlanks);
  return std::string(s.substr(b, e - b + 1));
}

// Case folding for name comparison: ASCII and the Latin-1 letters, as the
// case-insensitive comparison of Windows does for the characters of the code page.
std::string Fold(const std::string& utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size(); ++i) {
    auto c = static_cast<unsigned char>(utf8[i]);
    if (c >= 'A' && c <= 'Z') {
      out += static_cast<char>(c + 32);
    } else if (c == 0xC3 && i + 1 < utf8.size()) {
      auto d = static_cast<unsigned char>(utf8[i + 1]);
      if (d >= 0x80 && d <= 0x9E && d != 0x97) d = static_cast<unsigned char>(d + 0x20);
      out += static_cast<char>(c);
      out += static_cast<char>(d);
      ++i;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

bool SameName(std::string_view fileAnsi, const std::string& wantedFolded) {
  return Fold(FromAnsi(fileAnsi)) == wantedFolded;
}

// The file as one text in the ANSI code page, with a flag for UTF-16LE files
// (their text is converted, and converted back when written).
struct FileText {
  bool exists = false;
  bool utf16 = false;
  std::string text;  // ANSI (or UTF-8 for UTF-16 files)
};

FileText Load(const std::string& path) {
  FileText f;
  std::ifstream in(ToNativePath(path), std::ios::binary);
  if (!in) return f;
  std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return f;
  f.exists = true;
  if (raw.size() >= 2 && static_cast<unsigned char>(raw[0]) == 0xFF &&
      static_cast<unsigned char>(raw[1]) == 0xFE) {
    f.utf16 = true;
    std::string utf8;
    for (size_t i = 2; i + 1 < raw.size(); i += 2) {
      char32_t cp = static_cast<unsigned char>(raw[i]) | (static_cast<unsigned char>(raw[i + 1]) << 8);
      if (cp >= 0xD800 && cp < 0xDC00 && i + 3 < raw.size()) {
        char32_t lo = static_cast<unsigned char>(raw[i + 2]) | (static_cast<unsigned char>(raw[i + 3]) << 8);
        if (lo >= 0xDC00 && lo < 0xE000) {
          cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
          i += 2;
        }
      }
      if (cp < 0x80) utf8 += static_cast<char>(cp);
      else if (cp < 0x800) { utf8 += static_cast<char>(0xC0 | (cp >> 6)); utf8 += static_cast<char>(0x80 | (cp & 0x3F)); }
      else if (cp < 0x10000) { utf8 += static_cast<char>(0xE0 | (cp >> 12)); utf8 += static_cast<char>(0x80 | ((cp >> 6) & 0x3F)); utf8 += static_cast<char>(0x80 | (cp & 0x3F)); }
      else { utf8 += static_cast<char>(0xF0 | (cp >> 18)); utf8 += static_cast<char>(0x80 | ((cp >> 12) & 0x3F)); utf8 += static_cast<char>(0x80 | ((cp >> 6) & 0x3F)); utf8 += static_cast<char>(0x80 | (cp & 0x3F)); }
    }
    // Names and values are compared and returned in the ANSI code page.
    f.text = ToAnsi(utf8);
  } else {
    f.text = std::move(raw);
  }
  return f;
}

std::string EncodeUtf16(const std::string& ansi) {
  std::string utf8 = FromAnsi(ansi);
  std::string out("\xFF\xFE", 2);
  for (size_t i = 0; i < utf8.size();) {
    auto c = static_cast<unsigned char>(utf8[i]);
    char32_t cp;
    int len = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
    cp = len == 1 ? c : c & (0x7F >> len);
    for (int k = 1; k < len && i + static_cast<size_t>(k) < utf8.size(); ++k)
      cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + static_cast<size_t>(k)]) & 0x3F);
    i += static_cast<size_t>(len);
    auto put = [&out](char32_t u) {
      out += static_cast<char>(u & 0xFF);
      out += static_cast<char>((u >> 8) & 0xFF);
    };
    if (cp >= 0x10000) {
      cp -= 0x10000;
      put(0xD800 + (cp >> 10));
      put(0xDC00 + (cp & 0x3FF));
    } else {
      put(cp);
    }
  }
  return out;
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
    size_t close = line.rfind(']');
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
  const std::string wantedSection = Fold(section);
  const std::string wantedKey = Fold(key);
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

}  // namespace

std::string ReadProfileValue(const std::string& file, const std::string& section,
                              const std::string& key, std::size_t bufferSize) {
  if (bufferSize == 0) return {};
  FileText f = Load(file);
  if (!f.exists) return {};
  std::vector<Line> lines = SplitLines(f.text);
  Location loc = Find(f.text, lines, FromAnsi(ToAnsi(section)), FromAnsi(ToAnsi(key)));
  if (!loc.keyLine) return {};
  const Line& l = lines[*loc.keyLine];
  std::string value = Trim(std::string_view(f.text).substr(loc.valueBegin, l.end - loc.valueBegin));
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  if (value.size() > bufferSize - 1) value.resize(bufferSize - 1);
  return FromAnsi(value);
}

bool WriteProfileValue(const std::string& file, const std::string& section,
                        const std::string& key, const std::string& value) {
  FileText f = Load(file);
  const std::string ansiSection = ToAnsi(section);
  const std::string ansiKey = ToAnsi(key);
  const std::string ansiValue = ToAnsi(value);
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
  const std::string native = ToNativePath(file);
  const std::string temp = native + ".quillmark-tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    const std::string bytes = f.utf16 ? EncodeUtf16(text) : text;
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      std::remove(temp.c_str());
      return false;
    }
  }
  if (std::rename(temp.c_str(), native.c_str()) != 0) {
    std::remove(temp.c_str());
    return false;
  }
  return true;
}

}  // namespace qm::platform
