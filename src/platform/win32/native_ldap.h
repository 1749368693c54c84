// What the common directory code (common/ldap_client.h) needs from wldap32:
// its headers, its text (UTF-16) and, under one name each, the calls in which
// it differs from libldap. Only W functions are used: Wine implements every A
// function through them.
#pragma once

#include "platform/win32/win32.h"

#include <rpc.h>
#include <winldap.h>
#include <winber.h>

#include <cwchar>
#include <string>
#include <string_view>

#include "platform/common/text.h"

namespace qm::platform::directory::native {

using Char = WCHAR;
using Text = std::wstring;
using Code = ULONG;  // result codes, scopes, message ids and types
using Control = LDAPControlW;

inline constexpr Code kNoMessage = static_cast<Code>(-1);  // what ldap_result answers when it fails

inline Text FromUtf8(std::string_view utf8) {
  const std::u16string wide = text::Utf8ToUtf16(utf8);
  return Text(wide.begin(), wide.end());
}
inline std::string ToUtf8(const Char* text) {
  return text::Utf16ToUtf8(std::u16string(text, text + std::wcslen(text)));
}

inline void Unbind(LDAP* ld) { ldap_unbind(ld); }
inline void FreeControls(Control** controls) { ldap_controls_freeW(controls); }
inline void FreeText(Char* text) { ldap_memfreeW(text); }

inline Char* FirstAttribute(LDAP* ld, LDAPMessage* entry, BerElement** ber) {
  return ldap_first_attributeW(ld, entry, ber);
}
inline Char* NextAttribute(LDAP* ld, LDAPMessage* entry, BerElement* ber) {
  return ldap_next_attributeW(ld, entry, ber);
}
inline berval** AttributeValues(LDAP* ld, LDAPMessage* entry, Char* name) {
  return ldap_get_values_lenW(ld, entry, name);
}

// The time limit goes to the server; the client's wait is bounded by Result.
inline Code Search(LDAP* ld, Char* base, Code scope, Char* filter, Char** attributes,
                   Control** serverControls, int timeLimitSeconds, Code sizeLimit, Code* msgid) {
  return ldap_search_extW(ld, base, scope, filter, attributes, 0, serverControls, nullptr,
                          static_cast<ULONG>(timeLimitSeconds), sizeLimit, msgid);
}
inline Code Result(LDAP* ld, Code msgid, int timeLimitSeconds, LDAPMessage** message) {
  l_timeval timeout{timeLimitSeconds, 0};
  return ldap_result(ld, msgid, LDAP_MSG_ONE, &timeout, message);
}
inline Code ParseResult(LDAP* ld, LDAPMessage* message, Code* result, Control*** controls) {
  return ldap_parse_resultW(ld, message, result, nullptr, nullptr, nullptr, controls, FALSE);
}
inline void Abandon(LDAP* ld, Code msgid) { ldap_abandon(ld, msgid); }

}  // namespace qm::platform::directory::native
