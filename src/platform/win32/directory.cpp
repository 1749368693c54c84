// The directory service on wldap32: connecting, binding and the default base;
// the search itself is common/directory.cpp. A search text without a server
// binds serverless (the user's domain, ldap_init with no host). With an account
// that is a distinguished name it binds simply; with a Windows account name
// ("DOMAIN\user", "user@domain") it negotiates with those credentials; without
// one it negotiates as the logged-on user and reads anonymously when the server
// offers no negotiation (an LDAP server that is not Active Directory). Over
// LDAPS everything after the connect goes through TLS; with StartTLS
// everything after one read of the root entry, which finds out a server that
// never answers before the upgrade waits for it.
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/common/ldap_client.h"

namespace qm::platform::directory {

namespace {

// Wine's wldap32 dereferences the missing credentials of a negotiate bind as
// the logged-on user and crashes; there the read is anonymous instead.
bool RunningOnWine() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// wldap32's synchronous calls for which there is no asynchronous form (a
// Negotiate bind, the StartTLS request) take no time limit from their caller,
// and a server that takes the request and never answers would hold the logon.
// Each such call runs on a thread of its own. When the deadline passes first,
// the run goes on with the timeout error and leaves the call, with the
// connection it works on, to end on its own or with the process; everything
// the call uses is its own copy.
template <typename Call>
ULONG WithinDeadline(LdapHandle& handle, const Deadline& deadline, Call call) {
  struct Shared {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    ULONG rc = LDAP_SUCCESS;
    LdapHandle connection;  // the connection, once the call has outlived the deadline
  };
  auto shared = std::make_shared<Shared>();
  LDAP* ld = handle.get();
  std::thread worker([shared, ld, call = std::move(call)]() mutable {
    const ULONG rc = call(ld);
    const std::lock_guard<std::mutex> lock(shared->mutex);
    shared->rc = rc;
    shared->done = true;
    shared->finished.notify_all();
  });
  std::unique_lock<std::mutex> lock(shared->mutex);
  if (shared->finished.wait_until(lock, deadline.End(), [&shared] { return shared->done; })) {
    lock.unlock();
    worker.join();
    return shared->rc;
  }
  shared->connection = std::move(handle);
  lock.unlock();
  worker.detach();
  return LDAP_TIMEOUT;
}

}  // namespace

namespace native {

void Fail(Code rc) {
  PWCHAR text = ldap_err2stringW(rc);
  throw MakeError(static_cast<int>(rc), text != nullptr ? FromLdap(text) : std::string());
}

Code LastError(LDAP*) {
  ULONG rc = LdapGetLastError();
  return rc == LDAP_SUCCESS ? static_cast<ULONG>(LDAP_SERVER_DOWN) : rc;
}

// The root entry, asynchronously and with the time limit: a server that
// accepts the connection but never answers is found out here and not in a bind
// that waits for ever.
std::string DefaultBase(LDAP* ld, bool, const Deadline& deadline) {
  std::string base;
  const Code msgid = StartSearch(ld, "", Scope::Base, "(objectClass=*)", {"defaultNamingContext"},
                                 nullptr, deadline, 1);
  for (;;) {
    Message message;
    const Code type = NextMessage(ld, msgid, deadline, message);
    if (type == static_cast<Code>(LDAP_RES_SEARCH_ENTRY)) {
      const Entry root = ReadEntry(ld, message.get());
      const std::vector<std::string>* context = root.Find("defaultNamingContext");
      if (context != nullptr && !context->empty()) base = context->front();
      continue;
    }
    if (type == static_cast<Code>(LDAP_RES_SEARCH_RESULT)) return base;
  }
}

Server Connect(const directory::Search& search, const std::optional<Credentials>& credentials,
               Encryption encryption, const Deadline& deadline) {
  const bool defaultServer = ServerKey(search).empty();
  std::wstring host = ToLdap(search.server);
  PWCHAR hostName = defaultServer ? nullptr : host.data();
  const bool ldaps = encryption == Encryption::Ldaps;
  const ULONG port = search.port != 0 ? static_cast<ULONG>(search.port)
                                      : static_cast<ULONG>(ldaps ? LDAP_SSL_PORT : LDAP_PORT);
  // Over SSL wldap32 checks the server's certificate against the machine's
  // trusted roots and its name in the connect; one that fails ends it.
  Server server{LdapHandle(ldaps ? ldap_sslinitW(hostName, port, 1) : ldap_initW(hostName, port)),
                std::nullopt};
  LDAP* ld = server.ld.get();
  if (ld == nullptr) Fail(LastError(ld));

  ULONG version = LDAP_VERSION3;
  ldap_set_optionW(ld, LDAP_OPT_PROTOCOL_VERSION, &version);
  ldap_set_optionW(ld, LDAP_OPT_REFERRALS, LDAP_OPT_OFF);
  ULONG limit = static_cast<ULONG>(deadline.SecondsLeft());
  ldap_set_optionW(ld, LDAP_OPT_TIMELIMIT, &limit);
  l_timeval connectTimeout = deadline.Left();
  ULONG rc = ldap_connect(ld, &connectTimeout);
  if (rc != LDAP_SUCCESS) Fail(rc);

  if (encryption == Encryption::StartTls) {
    // ldap_start_tls_s takes no time limit from its caller (Windows documents
    // about thirty seconds of its own, whatever is left of ours). A server
    // that takes the connection and never answers is found out first by the
    // root entry read within the time limit; one that answers that and never
    // the upgrade, by the call's own thread. The root entry is read again over
    // TLS: nothing read in clear text is used. The same check of the
    // certificate as over LDAPS; a server that refuses the upgrade names its
    // reason in serverResult.
    DefaultBase(ld, defaultServer, deadline);
    auto serverResult = std::make_shared<ULONG>(LDAP_SUCCESS);
    rc = WithinDeadline(server.ld, deadline, [serverResult](LDAP* handle) {
      return ldap_start_tls_sW(handle, serverResult.get(), nullptr, nullptr, nullptr);
    });
    if (rc == LDAP_TIMEOUT) Fail(rc);
    if (rc == LDAP_OTHER && *serverResult != LDAP_SUCCESS) Fail(*serverResult);
    if (rc != LDAP_SUCCESS) Fail(rc);
  }

  server.defaultBase = DefaultBase(ld, defaultServer, deadline);

  if (credentials && credentials->user.find('=') != std::string::npos) {
    // A distinguished name: a simple bind, sent asynchronously for the time limit.
    std::wstring dn = ToLdap(credentials->user);
    std::wstring password = ToLdap(credentials->password);
    ULONG msgid = ldap_simple_bindW(ld, dn.data(), password.data());
    if (msgid == kNoMessage) Fail(LastError(ld));
    Message message;
    NextMessage(ld, msgid, deadline, message);
    rc = ResultCode(ld, message.get(), nullptr);
    if (rc != LDAP_SUCCESS) Fail(rc);
  } else if (credentials) {
    // A Windows account name: negotiated (Kerberos or NTLM), on the call's
    // own thread, which gets its own copies of the name and password.
    std::wstring name = ToLdap(credentials->user);
    std::wstring domain;
    if (size_t slash = name.find(L'\\'); slash != std::wstring::npos) {
      domain = name.substr(0, slash);
      name = name.substr(slash + 1);
    }
    rc = WithinDeadline(server.ld, deadline,
                        [name, domain, password = ToLdap(credentials->password)](LDAP* handle) mutable {
                          SEC_WINNT_AUTH_IDENTITY_W identity{};
                          identity.User = reinterpret_cast<unsigned short*>(name.data());
                          identity.UserLength = static_cast<unsigned long>(name.size());
                          identity.Domain = reinterpret_cast<unsigned short*>(domain.data());
                          identity.DomainLength = static_cast<unsigned long>(domain.size());
                          identity.Password = reinterpret_cast<unsigned short*>(password.data());
                          identity.PasswordLength = static_cast<unsigned long>(password.size());
                          identity.Flags = SEC_WINNT_AUTH_IDENTITY_UNICODE;
                          return ldap_bind_sW(handle, nullptr, reinterpret_cast<PWCHAR>(&identity),
                                              LDAP_AUTH_NEGOTIATE);
                        });
    if (rc != LDAP_SUCCESS) Fail(rc);
  } else if (!RunningOnWine()) {
    rc = WithinDeadline(server.ld, deadline, [](LDAP* handle) {
      return ldap_bind_sW(handle, nullptr, nullptr, LDAP_AUTH_NEGOTIATE);
    });
    // A server without negotiation is read anonymously; one that is gone is an error.
    if (rc == LDAP_SERVER_DOWN || rc == LDAP_TIMEOUT || rc == LDAP_CONNECT_ERROR) Fail(rc);
  }
  return server;
}

}  // namespace native

}  // namespace qm::platform::directory
