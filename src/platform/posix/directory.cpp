// The directory service on OpenLDAP's libldap: connecting, binding and the
// default base; the search itself is common/directory.cpp. A search without a
// server goes to the servers of the LDAP client configuration (ldap.conf,
// LDAPURI), which encryption moves to LDAPS or refuses (ProtectedUrls); with
// an account it binds simply, without one anonymously. Over TLS the
// certificate is checked against the client configuration's authorities
// (TLS_CACERT, LDAPTLS_CACERT).
#include <ldap.h>
#include <sys/time.h>

#include <csignal>

#include "platform/common/ldap_client.h"

namespace qm::platform::directory {

namespace {

std::string Url(const std::string& scheme, std::string host, int port) {
  if (host.find(':') != std::string::npos) host = "[" + host + "]";
  return scheme + "://" + host + ":" + std::to_string(port);
}

std::string Uri(const Search& search, Encryption encryption) {
  if (encryption == Encryption::Ldaps)
    return Url("ldaps", search.server, search.port != 0 ? search.port : LDAPS_PORT);
  return Url("ldap", search.server, search.port != 0 ? search.port : LDAP_PORT);
}

// The configured servers as encryption protects them (see ProtectedUrls): the
// configuration, as libldap hands it out, no longer tells a written port from
// the default, so ldap://dc01 arrives as ldap://dc01:389.
void ProtectConfiguredUris(LDAP* ld, Encryption encryption) {
  char* raw = nullptr;
  if (ldap_get_option(ld, LDAP_OPT_URI, &raw) != LDAP_OPT_SUCCESS || raw == nullptr)
    native::Fail(LDAP_LOCAL_ERROR);
  const LdapString configured(raw);
  const std::string uris = ProtectedUrls(configured.get(), encryption);
  if (uris != configured.get() && ldap_set_option(ld, LDAP_OPT_URI, uris.c_str()) != LDAP_OPT_SUCCESS)
    native::Fail(LDAP_PARAM_ERROR);
}

// A failed connection, bind or upgrade. libldap's TLS handshake gives up with
// "can't contact" when its time runs out; that is reported as the timeout.
[[noreturn]] void FailConnecting(int rc, Encryption encryption, const Deadline& deadline) {
  native::Fail(encryption != Encryption::None && deadline.Passed() ? LDAP_TIMEOUT : rc);
}

}  // namespace

namespace native {

void Fail(Code rc) { throw MakeError(WindowsResultCode(rc), ldap_err2string(rc)); }

Code LastError(LDAP* ld) {
  int rc = LDAP_OTHER;
  ldap_get_option(ld, LDAP_OPT_RESULT_CODE, &rc);
  return rc == LDAP_SUCCESS ? LDAP_OTHER : rc;
}

Server Connect(const directory::Search& search, const std::optional<Credentials>& credentials,
               Encryption encryption, const Deadline& deadline) {
  // A peer that closes the connection (a plain server on the LDAPS port) makes
  // the next write fail with EPIPE instead of ending the process.
  std::signal(SIGPIPE, SIG_IGN);
  if (encryption != Encryption::None) {
    // Whatever the client configuration says (TLS_REQCERT allow or never), the
    // certificate must be valid and name the server. This sets the default of
    // the TLS context that libldap makes at the first handshake.
    int demand = LDAP_OPT_X_TLS_DEMAND;
    if (ldap_set_option(nullptr, LDAP_OPT_X_TLS_REQUIRE_CERT, &demand) != LDAP_OPT_SUCCESS)
      Fail(LDAP_LOCAL_ERROR);
  }
  const bool defaultServer = ServerKey(search).empty();
  LDAP* raw = nullptr;
  const std::string uri = defaultServer ? std::string() : Uri(search, encryption);
  // A null URI makes libldap take the URI (or HOST and PORT) of its configuration.
  int rc = ldap_initialize(&raw, defaultServer ? nullptr : uri.c_str());
  Server server{LdapHandle(raw), std::nullopt};
  LDAP* ld = server.ld.get();
  if (rc != LDAP_SUCCESS) Fail(rc);
  if (ld == nullptr) Fail(LDAP_LOCAL_ERROR);
  if (defaultServer && encryption != Encryption::None) ProtectConfiguredUris(ld, encryption);

  int version = LDAP_VERSION3;
  ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &version);
  ldap_set_option(ld, LDAP_OPT_REFERRALS, LDAP_OPT_OFF);
  // The bind waits for as long as LDAP_OPT_TIMEOUT says.
  timeval timeout = deadline.Left();
  ldap_set_option(ld, LDAP_OPT_NETWORK_TIMEOUT, &timeout);
  ldap_set_option(ld, LDAP_OPT_TIMEOUT, &timeout);
  // A TLS handshake on a blocking connection waits for ever on a server that
  // never finishes it; connected asynchronously it waits for the network timeout.
  if (encryption != Encryption::None) ldap_set_option(ld, LDAP_OPT_CONNECT_ASYNC, LDAP_OPT_ON);

  if (encryption == Encryption::StartTls) {
    rc = ldap_start_tls_s(ld, nullptr, nullptr);
    if (rc != LDAP_SUCCESS) FailConnecting(rc, encryption, deadline);
  }

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
  if (rc != LDAP_SUCCESS) FailConnecting(rc, encryption, deadline);
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
