// Distinguished names of the directory as the signature rules compare them:
// RDN by RDN, without regard to case, to the blanks after commas and to how a
// character is escaped ("\," and "\2C" alike).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qm {

/// The RDNs of a distinguished name, split at every comma that no backslash
/// escapes, each without the blanks that follow its comma. Never fails.
std::vector<std::string> DnParts(std::string_view dn);

/// The distinguished name as it is compared: its RDNs in upper case with every
/// escape undone (only "," and "\" escaped again with a backslash), joined
/// with ",". Two names are the same entry when their keys are equal.
std::string DnKey(std::string_view dn);

/// True when both name the same entry: equal RDN by RDN without regard to
/// case, to blanks after commas and to the form of escapes.
bool SameDn(std::string_view a, std::string_view b);

/// True when dn lies below base or is base itself: its trailing RDNs are
/// base's, compared as SameDn. A base without RDNs is below nothing.
bool IsBelow(std::string_view dn, std::string_view base);

/// The domain part of a distinguished name: its trailing DC= RDNs joined with
/// ","; "" when it ends in none.
std::string DomainPart(std::string_view dn);

}  // namespace qm
