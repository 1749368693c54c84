// What the common directory code (common/ldap_client.h) needs from OpenLDAP's
// libldap: its header, its text (char, UTF-8) and, under one name each, the
// calls in which it differs from wldap32.
#pragma once

#include <ldap.h>
#include <sys/time.h>

namespace qm::platform::directory::native {

using Char = char;
using Code = int;  // result codes, scopes, message ids and types
using Control = LDAPControl;
using Timeval = timeval;

inline constexpr auto EntryDn = ldap_get_dn;
inline constexpr auto FirstAttribute = ldap_first_attribute;
inline constexpr auto NextAttribute = ldap_next_attribute;
inline constexpr auto AttributeValues = ldap_get_values_len;
inline constexpr auto ParseResult = ldap_parse_result;
inline constexpr auto FreeControls = ldap_controls_free;
inline constexpr auto FreeText = ldap_memfree;

inline void Unbind(LDAP* ld) { ldap_unbind_ext_s(ld, nullptr, nullptr); }
inline void Abandon(LDAP* ld, Code msgid) { ldap_abandon_ext(ld, msgid, nullptr, nullptr); }

// libldap applies the time limit to its own wait as well as sending it.
inline Code Search(LDAP* ld, Char* base, Code scope, Char* filter, Char** attributes,
                   Control** serverControls, int timeLimitSeconds, Code sizeLimit, Code* msgid) {
  Timeval timeout{timeLimitSeconds, 0};
  return ldap_search_ext(ld, base, scope, filter, attributes, 0, serverControls, nullptr, &timeout,
                         sizeLimit, msgid);
}

}  // namespace qm::platform::directory::native
