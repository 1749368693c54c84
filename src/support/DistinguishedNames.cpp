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

// The RDNs of a, from its end, equal those of b as far as b goes.
bool EndsWithParts(const std::vector<std::string>& a, const std::vector<std::string>& b) {
  if (b.empty() || b.size() > a.size()) return false;
  const size_t offset = a.size() - b.size();
  for (size_t i = 0; i < b.size(); ++i) {
    if (!platform::text::EqualsNoCase(a[offset + i], b[i])) return false;
  }
  return true;
}

}  // namespace

std::string DnKey(std::string_view dn) {
  std::string key;
  for (const std::string& part : DnParts(dn))
    key += (key.empty() ? "" : ",") + platform::text::ToUpper(part);
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
