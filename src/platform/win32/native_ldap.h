// What the common directory code (common/ldap_client.h) needs from wldap32:
// its headers, its text (UTF-16) and, under one name each, the calls in which
// it differs from libldap. Only W functions are used: Wine implements every A
// function through them.
#pragma once

#include "platform/win32/win32.h"

#include <rpc.h>
#include <winldap.h>
#include <winber.h>

namespace qm::platform::directory::native {

using Char = WCHAR;
using Code = ULONG;  // result codes, scopes, message ids and types
using Control = LDAPControlW;
using Timeval = l_timeval;

inline constexpr auto EntryDn = ldap_get_dnW;
inline constexpr auto FirstAttribute = ldap_first_attributeW;
inline constexpr auto NextAttribute = ldap_next_attributeW;
inline constexpr auto AttributeValues = ldap_get_values_lenW;
inline constexpr auto ParseResult = ldap_parse_resultW;
inline constexpr auto FreeControls = ldap_controls_freeW;
inline constexpr auto FreeText = ldap_memfreeW;

inline void Unbind(LDAP* ld) { ldap_unbind(ld); }
inline void Abandon(LDAP* ld, Code msgid) { ldap_abandon(ld, msgid); }

// wldap32 sends the time limit to the server only; NextMessage bounds the wait.
inline Code Search(LDAP* ld, Char* base, Code scope, Char* filter, Char** attributes,
                   Control** serverControls, int timeLimitSeconds, Code sizeLimit, Code* msgid) {
  return ldap_search_extW(ld, base, scope, filter, attributes, 0, serverControls, nullptr,
                          static_cast<ULONG>(timeLimitSeconds), sizeLimit, msgid);
}

}  // namespace qm::platform::directory::native
