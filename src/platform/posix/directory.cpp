// The directory service on OpenLDAP's libldap: connecting, binding and the
// default base; the search itself is common/directory.cpp. A search text
// without a server goes to the server of the LDAP client configuration
// (ldap.conf, LDAPURI); with an account it binds simply, without one anonymously.
#include <ldap.h>
#include <sys/time.h>

#include "platform/common/ldap_client.h"

namespace qm::platform::directory {

namespace {

std::string Uri(const SearchRequest& request) {
  std::string host = request.server;
  if (host.find(':') != std::string::npos) host = "[" + host + "]";
  return "ldap://" + host + ":" + std::to_string(request.port != 0 ? request.port : LDAP_PORT);
}

}  // namespace

namespace native {

void Fail(Code rc) { throw MakeError(WindowsResultCode(rc), ldap_err2string(rc)); }

Code LastError(LDAP* ld) {
  int rc = LDAP_OTHER;
  ldap_get_option(ld, LDAP_OPT_RESULT_CODE, &rc);
  return rc == LDAP_SUCCESS ? LDAP_OTHER : rc;
}

Server Connect(const SearchRequest& request, const std::optional<Credentials>& credentials,
               const Deadline& deadline) {
  const bool defaultServer = ServerKey(request).empty();
  LDAP* raw = nullptr;
  const std::string uri = defaultServer ? std::string() : Uri(request);
  // A null URI makes libldap take the URI (or HOST and PORT) of its configuration.
  int rc = ldap_initialize(&raw, defaultServer ? nullptr : uri.c_str());
  Server server{LdapHandle(raw), std::nullopt};
  LDAP* ld = server.ld.get();
  if (rc != LDAP_SUCCESS) Fail(rc);
  if (ld == nullptr) Fail(LDAP_LOCAL_ERROR);

  int version = LDAP_VERSION3;
  ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &version);
  ldap_set_option(ld, LDAP_OPT_REFERRALS, LDAP_OPT_OFF);
  // The bind waits for as long as LDAP_OPT_TIMEOUT says.
  timeval timeout = deadline.Left();
  ldap_set_option(ld, LDAP_OPT_NETWORK_TIMEOUT, &timeout);
  ldap_set_option(ld, LDAP_OPT_TIMEOUT, &timeout);

  berval password{};
  std::string user;
  std::string secret;  // libldap takes the password as a writable buffer
  if (credentials) {
    user = credentials->user;
    secret = credentials->password;
    password.bv_val = secret.data();
    password.bv_len = secret.size();
  }
  rc = ldap_sasl_bind_s(ld, credentials ? user.c_str() : nullptr, LDAP_SASL_SIMPLE, &password,
                        nullptr, nullptr, nullptr);
  if (rc != LDAP_SUCCESS) Fail(rc);
  return server;
}

// The BASE of the client configuration for the default server, else the
// naming context the server announces (Active Directory's defaultNamingContext);
// else "" and the server applies its default search base.
std::string DefaultBase(LDAP* ld, bool defaultServer, const Deadline& deadline) {
  if (defaultServer) {
    char* raw = nullptr;
    if (ldap_get_option(ld, LDAP_OPT_DEFBASE, &raw) == LDAP_OPT_SUCCESS && raw != nullptr) {
      LdapString base(raw);
      if (*raw != '\0') return raw;
    }
  }
  char attr[] = "defaultNamingContext";
  char* attrs[] = {attr, nullptr};
  // libldap refuses a time of zero; past the deadline the search itself ends with the timeout.
  if (deadline.Passed()) return "";
  timeval timeout = deadline.Left();
  LDAPMessage* raw = nullptr;
  int rc = ldap_search_ext_s(ld, "", LDAP_SCOPE_BASE, "(objectClass=*)", attrs, 0, nullptr, nullptr,
                             &timeout, 1, &raw);
  Message result(raw);
  if (rc != LDAP_SUCCESS) return "";
  LDAPMessage* first = ldap_first_entry(ld, result.get());
  if (first == nullptr) return "";
  Values values(ldap_get_values_len(ld, first, attr));
  if (!values || values.get()[0] == nullptr) return "";
  return std::string(values.get()[0]->bv_val, values.get()[0]->bv_len);
}

}  // namespace native

}  // namespace qm::platform::directory
