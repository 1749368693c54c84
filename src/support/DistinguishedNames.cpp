// Distinguished names as the rules and the group search compare them: parsed
// into RDNs as a server would read them, then written in one form per entry.
#include "support/DistinguishedNames.h"

#include "platform/common/text.h"

namespace qm {
namespace {

namespace text = platform::text;

constexpr char kEscape = '\\';
constexpr int kNibbleBits = 4;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The pieces of text between the separators that no backslash escapes, as
// written (escapes kept).
std::vector<std::string_view> SplitUnescaped(std::string_view s, char separator) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == kEscape) {
      ++i;
    } else if (s[i] == separator) {
      parts.push_back(s.substr(start, i - start));
      start = i + 1;
    }
  }
  parts.push_back(s.substr(start));
  return parts;
}

// An attribute value with its escapes decoded ("\2C" and "\," alike), then in
// upper case; nullopt for a "\" at the end. The
// blanks around it are gone, but an escaped one at either end stays.
std::optional<std::string> DecodeValue(std::string_view value) {
  while (!value.empty() && IsBlank(value.front())) value.remove_prefix(1);
  std::string out;
  size_t kept = 0;  // the length of out up to its last escaped or non-blank character
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] != kEscape) {
      out += value[i];
      if (!IsBlank(value[i])) kept = out.size();
      continue;
    }
    if (i + 1 >= value.size()) return std::nullopt;
    const int high = HexDigit(value[i + 1]);
    const int low = i + 2 < value.size() ? HexDigit(value[i + 2]) : -1;
    if (high >= 0 && low >= 0) {
      out += static_cast<char>((high << kNibbleBits) | low);
      i += 2;
    } else {
      out += value[++i];
    }
    kept = out.size();
  }
  out.resize(kept);
  return text::ToUpper(out);
}

// One attribute type and value of an RDN in the compared form.
std::optional<std::string> Ava(std::string_view ava) {
  const size_t equals = ava.find('=');
  if (equals == std::string_view::npos) return std::nullopt;
  const std::string_view type = TrimBlanks(ava.substr(0, equals));
  if (type.empty()) return std::nullopt;
  const std::optional<std::string> value = DecodeValue(ava.substr(equals + 1));
  if (!value) return std::nullopt;
  std::string out = text::ToUpper(type) + "=";
  for (char c : *value) {
    if (c == ',' || c == '+' || c == '=' || c == kEscape) out += kEscape;
    out += c;
  }
  return out;
}

// The names split at unescaped commas, each part upper-cased and without the
// blanks after its comma: how a name that does not parse is still compared.
std::vector<std::string> RoughParts(std::string_view dn) {
  std::vector<std::string> parts;
  for (std::string_view part : SplitUnescaped(dn, ',')) {
    while (!part.empty() && part.front() == ' ') part.remove_prefix(1);
    parts.push_back(text::ToUpper(part));
  }
  if (parts.size() == 1 && parts[0].empty()) parts.clear();
  return parts;
}

std::vector<std::string> Parts(std::string_view dn) {
  std::optional<std::vector<std::string>> parsed = ParseDn(dn);
  return parsed ? std::move(*parsed) : RoughParts(dn);
}

}  // namespace

std::optional<std::vector<std::string>> ParseDn(std::string_view dn) {
  std::vector<std::string> rdns;
  if (TrimBlanks(dn).empty()) return rdns;
  for (std::string_view rdn : SplitUnescaped(dn, ',')) {
    std::string key;
    for (std::string_view ava : SplitUnescaped(rdn, '+')) {
      const std::optional<std::string> one = Ava(ava);
      if (!one) return std::nullopt;
      key += (key.empty() ? "" : "+") + *one;
    }
    rdns.push_back(std::move(key));
  }
  return rdns;
}

std::string DnKey(std::string_view dn) {
  std::string key;
  for (const std::string& part : Parts(dn)) key += (key.empty() ? "" : ",") + part;
  return key;
}

bool SameDn(std::string_view a, std::string_view b) { return DnKey(a) == DnKey(b); }

bool IsBelow(std::string_view dn, std::string_view base) {
  const std::vector<std::string> a = Parts(dn);
  const std::vector<std::string> b = Parts(base);
  if (b.empty() || b.size() > a.size()) return false;
  const size_t offset = a.size() - b.size();
  for (size_t i = 0; i < b.size(); ++i) {
    if (a[offset + i] != b[i]) return false;
  }
  return true;
}

std::string DomainPart(std::string_view dn) {
  std::vector<std::string_view> parts = SplitUnescaped(dn, ',');
  size_t first = parts.size();
  while (first > 0) {
    const std::string_view part = TrimBlanks(parts[first - 1]);
    const size_t equals = part.find('=');
    if (equals == std::string_view::npos ||
        !text::EqualsNoCase(TrimBlanks(part.substr(0, equals)), "DC"))
      break;
    --first;
  }
  std::string domain;
  for (size_t i = first; i < parts.size(); ++i)
    domain += (i > first ? "," : "") + std::string(TrimBlanks(parts[i]));
  return domain;
}

std::vector<std::string> SplitNameList(std::string_view list) {
  std::vector<std::string> names;
  for (std::string_view name : SplitUnescaped(list, ';')) {
    name = TrimBlanks(name);
    if (!name.empty()) names.emplace_back(name);
  }
  return names;
}

}  // namespace qm
