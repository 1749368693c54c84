// What the common directory code (common/ldap_client.h) needs from OpenLDAP's
// libldap: its header, its text (char, UTF-8) and, under one name each, the
// calls in which it differs from wldap32.
#pragma once

#include <ldap.h>
#include <sys/time.h>

#include <string>
#include <string_view>

namespace qm::platform::directory::native {

using Char = char;
using Text = std::string;
using Code = int;  // result codes, scopes, message ids and types
using Control = LDAPControl;

inline constexpr Code kNoMessage = -1;  // what ldap_result answers when it fails

inline Text FromUtf8(std::string_view utf8) { return Text(utf8); }
inline std::string ToUtf8(const Char* text) { return text; }

inline void Unbind(LDAP* ld) { ldap_unbind_ext_s(ld, nullptr, nullptr); }
inline void FreeControls(Control** controls) { ldap_controls_free(controls); }
inline void FreeText(Char* text) { ldap_memfree(text); }

inline Char* FirstAttribute(LDAP* ld, LDAPMessage* entry, BerElement** ber) {
  return ldap_first_attribute(ld, entry, ber);
}
inline Char* NextAttribute(LDAP* ld, LDAPMessage* entry, BerElement* ber) {
  return ldap_next_attribute(ld, entry, ber);
}
inline berval** AttributeValues(LDAP* ld, LDAPMessage* entry, Char* name) {
  return ldap_get_values_len(ld, entry, name);
}

// The time limit goes to the server and bounds the client's wait as well.
inline Code Search(LDAP* ld, Char* base, Code scope, Char* filter, Char** attributes,
                   Control** serverControls, int timeLimitSeconds, Code sizeLimit, Code* msgid) {
  timeval timeout{timeLimitSeconds, 0};
  return ldap_search_ext(ld, base, scope, filter, attributes, 0, serverControls, nullptr, &timeout,
                         sizeLimit, msgid);
}
inline Code Result(LDAP* ld, Code msgid, int timeLimitSeconds, LDAPMessage** message) {
  timeval timeout{timeLimitSeconds, 0};
  return ldap_result(ld, msgid, LDAP_MSG_ONE, &timeout, message);
}
inline Code ParseResult(LDAP* ld, LDAPMessage* message, Code* result, Control*** controls) {
  return ldap_parse_result(ld, message, result, nullptr, nullptr, nullptr, controls, 0);
}
inline void Abandon(LDAP* ld, Code msgid) { ldap_abandon_ext(ld, msgid, nullptr, nullptr); }

}  // namespace qm::platform::directory::native
