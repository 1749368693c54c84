// POSIX stand-in for the Windows registry: one registry file in the format
// "reg export" writes ("Windows Registry Editor Version 5.00", UTF-16LE), so an
// administrator can export the Outlook keys of a PC, run against them here and
// import the result. Texts are stored as Windows stores them (UTF-16LE); the A
// view converts them to the ANSI code page. A write replaces the whole file
// atomically; a file that cannot be read is never written.
#include "platform/registry.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "platform/error.h"

namespace qm::platform::registry {
namespace {

struct Value {
  std::string name;  // "" = default value
  std::uint32_t type = 0;
  std::vector<std::uint8_t> data;  // as Windows stores it
};

struct Key {
  std::string name;
  std::vector<Value> values;
  std::vector<std::unique_ptr<Key>> subkeys;
};

std::string Upper(const std::string& s) {
  std::string u = s;
  for (char& c : u) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  return u;
}

bool SameName(const std::string& a, const std::string& b) { return Upper(a) == Upper(b); }

std::string FilePath() {
  if (const char* p = std::getenv("QUILLMARK_REGISTRY"); p && *p) return p;
  std::string base;
  if (const char* x = std::getenv("XDG_DATA_HOME"); x && *x) base = x;
  else if (const char* h = std::getenv("HOME"); h && *h) base = std::string(h) + "/.local/share";
  else base = ".";
  return base + "/quillmark/registry.reg";
}

// UTF-16LE <-> UTF-8.
std::string Utf16ToUtf8(const std::uint8_t* p, size_t bytes) {
  std::string out;
  for (size_t i = 0; i + 1 < bytes; i += 2) {
    char32_t cp = p[i] | (p[i + 1] << 8);
    if (cp >= 0xD800 && cp < 0xDC00 && i + 3 < bytes) {
      char32_t lo = p[i + 2] | (p[i + 3] << 8);
      if (lo >= 0xDC00 && lo < 0xE000) {
        cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
        i += 2;
      }
    }
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
  return out;
}

std::vector<std::uint8_t> Utf8ToUtf16(const std::string& s) {
  std::vector<std::uint8_t> out;
  auto put = [&out](char32_t u) {
    out.push_back(static_cast<std::uint8_t>(u & 0xFF));
    out.push_back(static_cast<std::uint8_t>((u >> 8) & 0xFF));
  };
  for (size_t i = 0; i < s.size();) {
    auto c = static_cast<unsigned char>(s[i]);
    int len = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    char32_t cp = len == 1 ? c : c & (0x7F >> len);
    for (int k = 1; k < len && i + static_cast<size_t>(k) < s.size(); ++k)
      cp = (cp << 6) | (static_cast<unsigned char>(s[i + static_cast<size_t>(k)]) & 0x3F);
    i += static_cast<size_t>(len);
    if (cp >= 0x10000) {
      put(0xD800 + ((cp - 0x10000) >> 10));
      put(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      put(cp);
    }
  }
  return out;
}

bool ValidUtf8(const std::string& s) {
  for (size_t i = 0; i < s.size();) {
    auto c = static_cast<unsigned char>(s[i]);
    int len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (len == 0 || i + static_cast<size_t>(len) > s.size()) return false;
    for (int k = 1; k < len; ++k)
      if ((static_cast<unsigned char>(s[i + static_cast<size_t>(k)]) & 0xC0) != 0x80) return false;
    i += static_cast<size_t>(len);
  }
  return true;
}

struct Store {
  std::string path;
  std::vector<std::unique_ptr<Key>> roots;  // HKEY_... by name
};

[[noreturn]] void Invalid(const std::string& path, size_t line, const std::string& what) {
  throw Error(kStoreError, "Quillmark",
              "Die Registrierungsdatei '" + path + "' ist ungültig (Zeile " + std::to_string(line) +
                  "): " + what);
}

std::string RootName(std::string r) {
  r = Upper(r);
  if (r == "HKCR") return "HKEY_CLASSES_ROOT";
  if (r == "HKCU") return "HKEY_CURRENT_USER";
  if (r == "HKLM") return "HKEY_LOCAL_MACHINE";
  if (r == "HKU") return "HKEY_USERS";
  return r;
}

std::string RootName(std::uint32_t root) {
  switch (root) {
    case kClassesRoot: return "HKEY_CLASSES_ROOT";
    case kCurrentUser: return "HKEY_CURRENT_USER";
    case kLocalMachine: return "HKEY_LOCAL_MACHINE";
    case 0x80000003u: return "HKEY_USERS";
    default: return "";
  }
}

std::vector<std::string> PathParts(const std::string& path) {
  std::vector<std::string> parts;
  std::string cur;
  for (char c : path) {
    if (c == '\\') {
      if (!cur.empty()) parts.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) parts.push_back(cur);
  return parts;
}

Key* Child(Key& k, const std::string& name, bool create) {
  for (auto& s : k.subkeys)
    if (SameName(s->name, name)) return s.get();
  if (!create) return nullptr;
  k.subkeys.push_back(std::make_unique<Key>());
  k.subkeys.back()->name = name;
  return k.subkeys.back().get();
}

Key* Root(Store& st, const std::string& name, bool create) {
  for (auto& r : st.roots)
    if (SameName(r->name, name)) return r.get();
  if (!create || name.empty()) return nullptr;
  st.roots.push_back(std::make_unique<Key>());
  st.roots.back()->name = name;
  return st.roots.back().get();
}

// A key below a root, by its path parts.
Key* Find(Store& st, const std::string& root, const std::vector<std::string>& parts, bool create) {
  Key* k = Root(st, root, create);
  for (const std::string& p : parts) {
    if (k == nullptr) return nullptr;
    k = Child(*k, p, create);
  }
  return k;
}

void DeleteKey(Store& st, const std::string& root, const std::vector<std::string>& parts) {
  if (parts.empty()) return;
  std::vector<std::string> parent(parts.begin(), parts.end() - 1);
  Key* k = Find(st, root, parent, false);
  if (k == nullptr) return;
  auto& v = k->subkeys;
  v.erase(std::remove_if(v.begin(), v.end(), [&](auto& s) { return SameName(s->name, parts.back()); }),
          v.end());
}

Value* FindValue(Key& k, const std::string& name) {
  for (Value& v : k.values)
    if (SameName(v.name, name)) return &v;
  return nullptr;
}

// A quoted text starting at s[i] == '"'; i ends after the closing quote.
bool Quoted(const std::string& s, size_t& i, std::string& out) {
  out.clear();
  if (i >= s.size() || s[i] != '"') return false;
  for (++i; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 1 < s.size()) {
      out += s[++i];
    } else if (s[i] == '"') {
      ++i;
      return true;
    } else {
      out += s[i];
    }
  }
  return false;
}

bool HexList(const std::string& s, std::vector<std::uint8_t>& out) {
  out.clear();
  std::string digits;
  for (char c : s) {
    if (c == ',' || c == ' ' || c == '\t') {
      if (!digits.empty()) {
        if (digits.size() > 2) return false;
        out.push_back(static_cast<std::uint8_t>(std::strtoul(digits.c_str(), nullptr, 16)));
        digits.clear();
      }
      continue;
    }
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    digits += c;
  }
  if (!digits.empty()) {
    if (digits.size() > 2) return false;
    out.push_back(static_cast<std::uint8_t>(std::strtoul(digits.c_str(), nullptr, 16)));
  }
  return true;
}

Store Load() {
  Store st;
  st.path = FilePath();
  std::ifstream in(st.path, std::ios::binary);
  if (!in) return st;  // a missing file is an empty registry
  std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::string text;
  if (raw.size() >= 2 && static_cast<unsigned char>(raw[0]) == 0xFF && static_cast<unsigned char>(raw[1]) == 0xFE) {
    text = Utf16ToUtf8(reinterpret_cast<const std::uint8_t*>(raw.data()) + 2, raw.size() - 2);
  } else if (raw.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    text = raw.substr(3);
  } else {
    text = ValidUtf8(raw) ? raw : FromAnsi(raw);
  }
  // Logical lines: a line ending in "\" goes on in the next one.
  std::vector<std::pair<size_t, std::string>> lines;
  size_t number = 0;
  std::string pending;
  size_t pendingLine = 0;
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t e = text.find('\n', pos);
    std::string line = text.substr(pos, e == std::string::npos ? std::string::npos : e - pos);
    pos = e == std::string::npos ? text.size() + 1 : e + 1;
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!pending.empty()) {
      size_t b = line.find_first_not_of(" \t");
      line = b == std::string::npos ? "" : line.substr(b);
    } else {
      pendingLine = number;
    }
    if (!line.empty() && line.back() == '\\') {
      line.pop_back();
      pending += line;
      continue;
    }
    pending += line;
    lines.emplace_back(pendingLine, pending);
    pending.clear();
  }
  size_t first = 0;
  while (first < lines.size() && lines[first].second.find_first_not_of(" \t") == std::string::npos) ++first;
  if (first == lines.size()) Invalid(st.path, 1, "keine Registrierungsdatei (Kopfzeile fehlt)");
  bool regedit4 = false;
  if (lines[first].second == "REGEDIT4") regedit4 = true;
  else if (lines[first].second != "Windows Registry Editor Version 5.00")
    Invalid(st.path, lines[first].first, "keine Registrierungsdatei (unbekannte Kopfzeile)");
  Key* current = nullptr;
  for (size_t li = first + 1; li < lines.size(); ++li) {
    const size_t n = lines[li].first;
    const std::string& l = lines[li].second;
    size_t b = l.find_first_not_of(" \t");
    if (b == std::string::npos || l[b] == ';') continue;
    if (l[b] == '[') {
      size_t close = l.rfind(']');
      if (close == std::string::npos || close < b) Invalid(st.path, n, "Schlüsselzeile ohne ']'");
      std::string path = l.substr(b + 1, close - b - 1);
      bool remove = !path.empty() && path[0] == '-';
      if (remove) path.erase(0, 1);
      std::vector<std::string> parts = PathParts(path);
      if (parts.empty()) Invalid(st.path, n, "leerer Schlüssel");
      std::string root = RootName(parts[0]);
      if (root.rfind("HKEY_", 0) != 0) Invalid(st.path, n, "unbekannter Hauptschlüssel '" + parts[0] + "'");
      parts.erase(parts.begin());
      if (remove) {
        DeleteKey(st, root, parts);
        current = nullptr;
      } else {
        current = Find(st, root, parts, true);
      }
      continue;
    }
    // A value line: @=... or "name"=...
    std::string name;
    size_t i = b;
    if (l[i] == '@') {
      ++i;
    } else if (!Quoted(l, i, name)) {
      Invalid(st.path, n, "Wertzeile nicht lesbar");
    }
    while (i < l.size() && (l[i] == ' ' || l[i] == '\t')) ++i;
    if (i >= l.size() || l[i] != '=') Invalid(st.path, n, "'=' fehlt");
    ++i;
    while (i < l.size() && (l[i] == ' ' || l[i] == '\t')) ++i;
    if (current == nullptr) Invalid(st.path, n, "Wert ohne Schlüssel");
    std::string rest = l.substr(i);
    Value v;
    v.name = name;
    if (rest == "-") {
      auto& vals = current->values;
      vals.erase(std::remove_if(vals.begin(), vals.end(), [&](const Value& x) { return SameName(x.name, name); }),
                 vals.end());
      continue;
    }
    if (!rest.empty() && rest[0] == '"') {
      size_t j = 0;
      std::string s;
      if (!Quoted(rest, j, s) || rest.find_first_not_of(" \t", j) != std::string::npos)
        Invalid(st.path, n, "Zeichenkette nicht abgeschlossen");
      v.type = 1;
      v.data = Utf8ToUtf16(s);
      v.data.push_back(0);
      v.data.push_back(0);
    } else if (Upper(rest.substr(0, 6)) == "DWORD:") {
      std::string hex = rest.substr(6);
      if (hex.empty() || hex.size() > 8 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        Invalid(st.path, n, "ungültiger DWORD-Wert");
      auto u = static_cast<std::uint32_t>(std::strtoul(hex.c_str(), nullptr, 16));
      v.type = 4;
      v.data = {static_cast<std::uint8_t>(u), static_cast<std::uint8_t>(u >> 8),
                static_cast<std::uint8_t>(u >> 16), static_cast<std::uint8_t>(u >> 24)};
    } else if (Upper(rest.substr(0, 4)) == "HEX:" || Upper(rest.substr(0, 4)) == "HEX(") {
      size_t colon = rest.find(':');
      v.type = 3;
      if (rest[3] == '(') {
        size_t close = rest.find(')');
        std::string t = close == std::string::npos ? "" : rest.substr(4, close - 4);
        if (t.empty() || t.size() > 8 || t.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos ||
            colon != close + 1)
          Invalid(st.path, n, "ungültiger Werttyp");
        v.type = static_cast<std::uint32_t>(std::strtoul(t.c_str(), nullptr, 16));
      }
      if (!HexList(rest.substr(colon + 1), v.data)) Invalid(st.path, n, "ungültige Hexadezimalfolge");
      if (regedit4 && (v.type == 1 || v.type == 2 || v.type == 7)) {
        v.data = Utf8ToUtf16(FromAnsi(std::string(v.data.begin(), v.data.end())));
      }
    } else {
      Invalid(st.path, n, "unbekannte Wertangabe");
    }
    if (Value* old = FindValue(*current, name)) *old = std::move(v);
    else current->values.push_back(std::move(v));
  }
  if (!pending.empty()) Invalid(st.path, number, "Datei endet mitten in einer Zeile");
  return st;
}

std::string Escape(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out;
}

std::string Hex(const std::vector<std::uint8_t>& d) {
  std::string out;
  char buf[4];
  for (size_t i = 0; i < d.size(); ++i) {
    std::snprintf(buf, sizeof buf, "%02x", d[i]);
    if (i > 0) out += ',';
    out += buf;
  }
  return out;
}

// A string that "..." can carry: one terminator at its end, nothing else odd.
bool CleanString(const Value& v) {
  const auto& d = v.data;
  if (v.type != 1 || d.size() < 2 || d.size() % 2 != 0) return false;
  if (d[d.size() - 1] != 0 || d[d.size() - 2] != 0) return false;
  std::string s = Utf16ToUtf8(d.data(), d.size() - 2);
  return s.find('\0') == std::string::npos && s.find('\r') == std::string::npos &&
         s.find('\n') == std::string::npos;
}

void WriteKey(std::string& out, const std::string& path, const Key& k) {
  out += "[" + path + "]\r\n";
  for (const Value& v : k.values) {
    out += v.name.empty() ? "@" : "\"" + Escape(v.name) + "\"";
    out += "=";
    if (CleanString(v)) {
      out += "\"" + Escape(Utf16ToUtf8(v.data.data(), v.data.size() - 2)) + "\"";
    } else if (v.type == 4 && v.data.size() == 4) {
      char buf[16];
      std::snprintf(buf, sizeof buf, "dword:%02x%02x%02x%02x", v.data[3], v.data[2], v.data[1], v.data[0]);
      out += buf;
    } else if (v.type == 3) {
      out += "hex:" + Hex(v.data);
    } else {
      char buf[24];
      std::snprintf(buf, sizeof buf, "hex(%x):", v.type);
      out += buf + Hex(v.data);
    }
    out += "\r\n";
  }
  out += "\r\n";
  for (const auto& s : k.subkeys) WriteKey(out, path + "\\" + s->name, *s);
}

bool Save(const Store& st) {
  std::string text = "Windows Registry Editor Version 5.00\r\n\r\n";
  for (const auto& r : st.roots) WriteKey(text, r->name, *r);
  std::vector<std::uint8_t> bytes{0xFF, 0xFE};
  std::vector<std::uint8_t> body = Utf8ToUtf16(text);
  bytes.insert(bytes.end(), body.begin(), body.end());
  size_t slash = st.path.rfind('/');
  if (slash != std::string::npos) {
    // The folder of the default location may not exist yet.
    const std::string dir = st.path.substr(0, slash);
    for (size_t i = 1; i <= dir.size(); ++i) {
      if (i == dir.size() || dir[i] == '/') ::mkdir(dir.substr(0, i).c_str(), 0777);
    }
  }
  const std::string temp = st.path + ".quillmark-tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      std::remove(temp.c_str());
      return false;
    }
  }
  if (std::rename(temp.c_str(), st.path.c_str()) != 0) {
    std::remove(temp.c_str());
    return false;
  }
  return true;
}

// The A functions' view of a text value: its UTF-16 code units in the ANSI code page.
std::vector<std::uint8_t> AnsiView(const Value& v) {
  if (v.type != 1 && v.type != 2 && v.type != 7) return v.data;
  std::string a = ToAnsi(Utf16ToUtf8(v.data.data(), v.data.size()));
  return std::vector<std::uint8_t>(a.begin(), a.end());
}

}  // namespace

std::optional<RawValue> QueryValue(std::uint32_t root, const std::string& path, const std::string& name) {
  Store st = Load();
  Key* k = Find(st, RootName(root), PathParts(path), false);
  if (k == nullptr) return std::nullopt;
  Value* v = FindValue(*k, name);
  if (v == nullptr) return std::nullopt;
  return RawValue{v->type, AnsiView(*v)};
}

bool SetValue(std::uint32_t root, const std::string& path, const std::string& name, std::uint32_t type,
              std::span<const std::uint8_t> data) {
  Store st = Load();
  const std::string rootName = RootName(root);
  if (rootName.empty()) return false;
  Key* k = Find(st, rootName, PathParts(path), true);
  Value v;
  v.name = name;
  v.type = type;
  v.data.assign(data.begin(), data.end());
  if (type == 1 || type == 2 || type == 7) v.data = Utf8ToUtf16(FromAnsi(std::string(data.begin(), data.end())));
  if (Value* old = FindValue(*k, name)) *old = std::move(v);
  else k->values.push_back(std::move(v));
  return Save(st);
}

std::optional<std::vector<std::string>> EnumerateSubkeys(std::uint32_t root, const std::string& path) {
  Store st = Load();
  Key* k = Find(st, RootName(root), PathParts(path), false);
  if (k == nullptr) return std::nullopt;
  std::vector<std::string> names;
  for (const auto& s : k->subkeys) names.push_back(s->name);
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) { return Upper(a) < Upper(b); });
  // A name that does not fit the 255-character buffer ends the list.
  for (size_t i = 0; i < names.size(); ++i) {
    if (ToAnsi(names[i]).size() >= 255) {
      names.resize(i);
      break;
    }
  }
  return names;
}

}  // namespace qm::platform::registry
