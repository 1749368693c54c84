// The directory service on OpenLDAP's libldap: connecting, binding and the
// default base; the search itself is common/directory.cpp. A search without a
// server goes to the servers of the LDAP client configuration (ldap.conf,
// LDAPURI), which encryption moves to LDAPS or refuses (ProtectedUrls); with
// an account it binds simply, without one anonymously. Over TLS the
// certificate is checked against the client configuration's authorities
// (TLS_CACERT, LDAPTLS_CACERT).
#include <ldap.h>
#include <sys/time.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <fstream>

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

// A client configuration file larger than this is no configuration.
constexpr std::size_t kLargestClientFile = std::size_t{1} << 16;

// The value of the last "URI" line of a client configuration file into uri
// (the keyword in any case, the value up to the line's end, blanks around it
// dropped). False when the file cannot be read.
bool ReadUriLine(const std::string& path, std::optional<std::string>& uri) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  std::string content(kLargestClientFile, '\0');
  file.read(content.data(), static_cast<std::streamsize>(content.size()));
  content.resize(static_cast<std::size_t>(file.gcount()));
  constexpr std::string_view kBlanks = " \t\r";
  std::string_view rest = content;
  while (!rest.empty()) {
    const std::size_t end = std::min(rest.find('\n'), rest.size());
    std::string_view line = rest.substr(0, end);
    rest.remove_prefix(std::min(end + 1, rest.size()));
    line.remove_prefix(std::min(line.find_first_not_of(kBlanks), line.size()));
    const std::size_t keyEnd = std::min(line.find_first_of(kBlanks), line.size());
    if (!text::EqualsNoCase(line.substr(0, keyEnd), "URI")) continue;
    std::string_view value = line.substr(keyEnd);
    value.remove_prefix(std::min(value.find_first_not_of(kBlanks), value.size()));
    value = value.substr(0, value.find_last_not_of(kBlanks) + 1);
    if (!value.empty()) uri = std::string(value);
  }
  return true;
}

// A user's rc file as libldap looks for it: in the home folder, hidden there,
// and in the current folder.
void ReadUserUriLines(const std::string& name, std::optional<std::string>& uri) {
  if (const char* home = std::getenv("HOME")) {
    ReadUriLine(std::string(home) + "/" + name, uri);
    ReadUriLine(std::string(home) + "/." + name, uri);
  }
  ReadUriLine(name, uri);
}

// The servers the client configuration names, as written: the system's
// ldap.conf, the user's ldaprc, LDAPCONF, LDAPRC and LDAPURI, a later one
// replacing an earlier, as libldap reads them; nullopt when none names any.
std::optional<std::string> WrittenUris() {
  std::optional<std::string> uri;
  if (std::getenv("LDAPNOINIT") != nullptr) return uri;
  // Debian's place, else the one of the other distributions.
  if (!ReadUriLine("/etc/ldap/ldap.conf", uri)) ReadUriLine("/etc/openldap/ldap.conf", uri);
  if (geteuid() != getuid()) return uri;
  ReadUserUriLines("ldaprc", uri);
  if (const char* file = std::getenv("LDAPCONF")) ReadUriLine(file, uri);
  if (const char* name = std::getenv("LDAPRC")) ReadUserUriLines(name, uri);
  if (const char* value = std::getenv("LDAPURI")) uri = value;
  return uri;
}

// The configured servers as encryption protects them (see ProtectedUrls): the
// configuration, as libldap hands it out, no longer tells a written port from
// the default, so ldap://dc01 arrives as ldap://dc01:389. A list with a URL
// that libldap cannot use (cldap://) it drops without a word, and connects to
// localhost instead: the list as written is checked first.
void ProtectConfiguredUris(LDAP* ld, Encryption encryption) {
  if (std::optional<std::string> written = WrittenUris()) {
    std::replace(written->begin(), written->end(), ',', ' ');
    ProtectedUrls(*written, encryption);
  }
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
