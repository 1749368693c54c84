// Distinguished names of the directory as the signature rules and the group
// search compare them: RDN by RDN, without regard to case, to blanks around
// "=" and around the commas, and to the form of an escape (a server may write
// a comma in a name as "\," or as "\2C").
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

/// The RDNs of a distinguished name in the form they are compared in: each
/// attribute type and value with the blanks around them removed, escapes
/// decoded, in upper case, and written again with "\" before "," "+" "=" "\"
/// so that the form tells RDNs apart. nullopt when the name does not parse:
/// an empty RDN (",," or a comma at either end), an RDN without "=" or
/// without an attribute type, or a value that ends in a lone "\".
/// The empty name parses to no RDNs.
std::optional<std::vector<std::string>> ParseDn(std::string_view dn);

/// The distinguished name as it is compared: its parsed RDNs joined with ",".
/// A name that does not parse (a server's, never checked) is split at the
/// commas no backslash escapes and each part upper-cased, blanks after commas
/// dropped. Two names are the same entry when their keys are equal.
std::string DnKey(std::string_view dn);

/// True when both name the same entry: DnKey(a) == DnKey(b).
bool SameDn(std::string_view a, std::string_view b);

/// True when dn lies below base or is base itself: its trailing RDNs are
/// base's, compared as SameDn. A base without RDNs is below nothing.
bool IsBelow(std::string_view dn, std::string_view base);

/// The domain part of a distinguished name as written: its trailing DC= RDNs
/// joined with ",", blanks after the commas dropped; "" when it ends in none.
std::string DomainPart(std::string_view dn);

/// The names of a list separated by ";" (a "\;" inside a distinguished name
/// does not separate), each without its surrounding blanks; empty names dropped.
std::vector<std::string> SplitNameList(std::string_view list);

}  // namespace qm
