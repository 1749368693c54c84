// Distinguished names as the rules compare them.
#include "support/DistinguishedNames.h"

#include "platform/common/text.h"

namespace qm {

std::vector<std::string> DnParts(std::string_view dn) {
  std::vector<std::string> parts;
  std::string part;
  bool afterComma = false;
  for (size_t i = 0; i < dn.size(); ++i) {
    const char c = dn[i];
    if (afterComma && c == ' ') continue;
    afterComma = false;
    if (c == '\\' && i + 1 < dn.size()) {
      part += c;
      part += dn[++i];
    } else if (c == ',') {
      parts.push_back(std::move(part));
      part.clear();
      afterComma = true;
    } else {
      part += c;
    }
  }
  if (!part.empty() || !parts.empty()) parts.push_back(std::move(part));
  return parts;
}

namespace {

constexpr int kHexBase = 16;

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// An RDN as it is compared. Servers escape differently: Active Directory
// writes "CN=Muster\, Max", OpenLDAP "cn=Muster\2C Max" (a byte of UTF-8 as
// "\C3"). Every escape is undone; the comma and the backslash are escaped
// again, so that RDNs joined with commas stay apart.
std::string ComparableRdn(std::string_view rdn) {
  std::string out;
  for (size_t i = 0; i < rdn.size(); ++i) {
    char c = rdn[i];
    if (c == '\\' && i + 1 < rdn.size()) {
      const int high = i + 2 < rdn.size() ? HexDigit(rdn[i + 1]) : -1;
      const int low = high >= 0 ? HexDigit(rdn[i + 2]) : -1;
      c = low >= 0 ? static_cast<char>(high * kHexBase + low) : rdn[i + 1];
      i += low >= 0 ? 2 : 1;
    }
    if (c == ',' || c == '\\') out += '\\';
    out += c;
  }
  return platform::text::ToUpper(out);
}

// The RDNs of a, from its end, equal those of b as far as b goes.
bool EndsWithParts(const std::vector<std::string>& a, const std::vector<std::string>& b) {
  if (b.empty() || b.size() > a.size()) return false;
  const size_t offset = a.size() - b.size();
  for (size_t i = 0; i < b.size(); ++i) {
    if (ComparableRdn(a[offset + i]) != ComparableRdn(b[i])) return false;
  }
  return true;
}

}  // namespace

std::string DnKey(std::string_view dn) {
  std::string key;
  for (const std::string& part : DnParts(dn)) key += (key.empty() ? "" : ",") + ComparableRdn(part);
  return key;
}

bool SameDn(std::string_view a, std::string_view b) { return DnKey(a) == DnKey(b); }

bool IsBelow(std::string_view dn, std::string_view base) {
  return EndsWithParts(DnParts(dn), DnParts(base));
}

std::string DomainPart(std::string_view dn) {
  const std::vector<std::string> parts = DnParts(dn);
  size_t first = parts.size();
  while (first > 0 && platform::text::StartsWithNoCase(parts[first - 1], "DC=")) --first;
  std::string domain;
  for (size_t i = first; i < parts.size(); ++i) domain += (i > first ? "," : "") + parts[i];
  return domain;
}

}  // namespace qm
