// The directory service on wldap32. A search text without a server binds
// serverless (the user's domain, ldap_init with no host). With an account that
// is a distinguished name it binds simply; with a Windows account name
// ("DOMAIN\user", "user@domain") it negotiates with those credentials; without
// one it negotiates as the logged-on user and reads anonymously when the server
// offers no negotiation (an LDAP server that is not Active Directory).
// Only W functions are used: Wine implements every A function through them.
#include "platform/directory.h"

#include "platform/win32/win32.h"

#include <rpc.h>
#include <winldap.h>
#include <winber.h>

#include <map>

#include "platform/common/ldap_search.h"

namespace qm::platform::directory {

namespace {

using win32::Narrow;
using win32::Widen;

struct LdapCloser {
  void operator()(LDAP* ld) const { ldap_unbind(ld); }
};
using LdapHandle = std::unique_ptr<LDAP, LdapCloser>;

struct MessageCloser {
  void operator()(LDAPMessage* m) const { ldap_msgfree(m); }
};
using Message = std::unique_ptr<LDAPMessage, MessageCloser>;

struct ControlsCloser {
  void operator()(LDAPControlW** c) const { ldap_controls_freeW(c); }
};
using Controls = std::unique_ptr<LDAPControlW*, ControlsCloser>;

struct BerCloser {
  void operator()(BerElement* b) const { ber_free(b, 0); }
};
using Ber = std::unique_ptr<BerElement, BerCloser>;

struct MemCloser {
  void operator()(PWCHAR p) const { ldap_memfreeW(p); }
};
using LdapString = std::unique_ptr<WCHAR, MemCloser>;

struct ValuesCloser {
  void operator()(berval** v) const { ldap_value_free_len(v); }
};
using Values = std::unique_ptr<berval*, ValuesCloser>;

[[noreturn]] void Fail(ULONG rc) {
  PWCHAR text = ldap_err2stringW(rc);
  throw MakeError(static_cast<int>(rc), text != nullptr ? Narrow(text) : std::string());
}

ULONG LastError() {
  ULONG rc = LdapGetLastError();
  return rc == LDAP_SUCCESS ? static_cast<ULONG>(LDAP_SERVER_DOWN) : rc;
}

ULONG ToScope(Scope scope) {
  switch (scope) {
    case Scope::Base: return LDAP_SCOPE_BASE;
    case Scope::OneLevel: return LDAP_SCOPE_ONELEVEL;
    case Scope::Subtree: break;
  }
  return LDAP_SCOPE_SUBTREE;
}

constexpr ULONG kNoMessage = static_cast<ULONG>(-1);

/// Waits for the next message of the operation and gives its type; a server
/// that stays silent for the time limit ends the operation with a timeout.
/// (The result's return value is the type: Wine does not fill lm_msgtype.)
ULONG NextMessage(LDAP* ld, ULONG msgid, int timeLimitSeconds, Message& message) {
  l_timeval timeout{timeLimitSeconds, 0};
  LDAPMessage* raw = nullptr;
  ULONG type = ldap_result(ld, msgid, LDAP_MSG_ONE, &timeout, &raw);
  message.reset(raw);
  if (type == 0) {
    ldap_abandon(ld, msgid);
    Fail(LDAP_TIMEOUT);
  }
  if (type == kNoMessage) Fail(LastError());
  return type;
}

/// The result code of a finished operation, its controls handed out when asked.
ULONG ResultCode(LDAP* ld, LDAPMessage* message, Controls* controls) {
  ULONG result = LDAP_SUCCESS;
  PLDAPControlW* raw = nullptr;
  ULONG rc = ldap_parse_resultW(ld, message, &result, nullptr, nullptr, nullptr,
                                controls != nullptr ? &raw : nullptr, FALSE);
  if (controls != nullptr) controls->reset(raw);
  return rc != LDAP_SUCCESS ? rc : result;
}

Entry ReadEntry(LDAP* ld, LDAPMessage* message) {
  Entry entry;
  BerElement* rawBer = nullptr;
  for (LdapString name(ldap_first_attributeW(ld, message, &rawBer)); name;
       name.reset(ldap_next_attributeW(ld, message, rawBer))) {
    std::vector<std::string> values;
    Values raw(ldap_get_values_lenW(ld, message, name.get()));
    if (raw) {
      for (berval** v = raw.get(); *v != nullptr; ++v)
        values.emplace_back((*v)->bv_val, (*v)->bv_len);
    }
    entry.attributes.emplace_back(Narrow(name.get()), std::move(values));
  }
  Ber ber(rawBer);
  return entry;
}

/// Sends the search; returns the message id.
ULONG StartSearch(LDAP* ld, const std::wstring& base, ULONG scope, const std::wstring& filter,
                  std::vector<std::wstring>& names, PLDAPControlW* controls, int timeLimitSeconds,
                  ULONG sizeLimit) {
  std::vector<PWCHAR> attrs;
  for (auto& n : names) attrs.push_back(n.data());
  attrs.push_back(nullptr);
  std::wstring b = base;
  std::wstring f = filter;
  ULONG msgid = 0;
  ULONG rc = ldap_search_extW(ld, b.data(), scope, f.data(), attrs.data(), 0, controls, nullptr,
                              static_cast<ULONG>(timeLimitSeconds), sizeLimit, &msgid);
  if (rc != LDAP_SUCCESS) Fail(rc);
  return msgid;
}

// Wine's wldap32 dereferences the missing credentials of a negotiate bind as
// the logged-on user and crashes; there the read is anonymous instead.
bool RunningOnWine() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

struct Server {
  LdapHandle ld;
  std::string defaultBase;  // the server's defaultNamingContext, "" when it has none
};

}  // namespace

struct Connection::Impl {
  std::optional<Credentials> credentials;
  std::map<std::string, Server> servers;

  Server& Get(const SearchRequest& request, int timeLimitSeconds);
};

Server& Connection::Impl::Get(const SearchRequest& request, int timeLimitSeconds) {
  std::string key = ServerKey(request);
  if (auto it = servers.find(key); it != servers.end()) return it->second;

  std::wstring host = Widen(request.server);
  Server server;
  server.ld.reset(ldap_initW(key.empty() ? nullptr : host.data(),
                             request.port != 0 ? static_cast<ULONG>(request.port) : LDAP_PORT));
  LDAP* ld = server.ld.get();
  if (ld == nullptr) Fail(LastError());

  ULONG version = LDAP_VERSION3;
  ldap_set_optionW(ld, LDAP_OPT_PROTOCOL_VERSION, &version);
  ldap_set_optionW(ld, LDAP_OPT_REFERRALS, LDAP_OPT_OFF);
  ULONG limit = static_cast<ULONG>(timeLimitSeconds);
  ldap_set_optionW(ld, LDAP_OPT_TIMELIMIT, &limit);
  l_timeval connectTimeout{timeLimitSeconds, 0};
  ULONG rc = ldap_connect(ld, &connectTimeout);
  if (rc != LDAP_SUCCESS) Fail(rc);

  // The root entry first, asynchronously and with the time limit: a server that
  // accepts the connection but never answers is found out here and not in a
  // bind that waits for ever. It also names the default naming context.
  {
    std::vector<std::wstring> names = {L"defaultNamingContext"};
    ULONG msgid = StartSearch(ld, L"", LDAP_SCOPE_BASE, L"(objectClass=*)", names, nullptr,
                              timeLimitSeconds, 1);
    for (;;) {
      Message message;
      ULONG type = NextMessage(ld, msgid, timeLimitSeconds, message);
      if (type == static_cast<ULONG>(LDAP_RES_SEARCH_ENTRY)) {
        Entry root = ReadEntry(ld, message.get());
        const std::vector<std::string>* context = root.Find("defaultNamingContext");
        if (context != nullptr && !context->empty()) server.defaultBase = context->front();
        continue;
      }
      if (type == static_cast<ULONG>(LDAP_RES_SEARCH_RESULT)) break;
    }
  }

  if (credentials && credentials->user.find('=') != std::string::npos) {
    // A distinguished name: a simple bind, sent asynchronously for the time limit.
    std::wstring dn = Widen(credentials->user);
    std::wstring password = Widen(credentials->password);
    ULONG msgid = ldap_simple_bindW(ld, dn.data(), password.data());
    if (msgid == kNoMessage) Fail(LastError());
    Message message;
    NextMessage(ld, msgid, timeLimitSeconds, message);
    rc = ResultCode(ld, message.get(), nullptr);
    if (rc != LDAP_SUCCESS) Fail(rc);
  } else if (credentials) {
    std::wstring name = Widen(credentials->user);
    std::wstring domain;
    if (size_t slash = name.find(L'\\'); slash != std::wstring::npos) {
      domain = name.substr(0, slash);
      name = name.substr(slash + 1);
    }
    std::wstring password = Widen(credentials->password);
    SEC_WINNT_AUTH_IDENTITY_W identity{};
    identity.User = reinterpret_cast<unsigned short*>(name.data());
    identity.UserLength = static_cast<unsigned long>(name.size());
    identity.Domain = reinterpret_cast<unsigned short*>(domain.data());
    identity.DomainLength = static_cast<unsigned long>(domain.size());
    identity.Password = reinterpret_cast<unsigned short*>(password.data());
    identity.PasswordLength = static_cast<unsigned long>(password.size());
    identity.Flags = SEC_WINNT_AUTH_IDENTITY_UNICODE;
    rc = ldap_bind_sW(ld, nullptr, reinterpret_cast<PWCHAR>(&identity), LDAP_AUTH_NEGOTIATE);
    if (rc != LDAP_SUCCESS) Fail(rc);
  } else if (!RunningOnWine()) {
    rc = ldap_bind_sW(ld, nullptr, nullptr, LDAP_AUTH_NEGOTIATE);
    // A server without negotiation is read anonymously; one that is gone is an error.
    if (rc == LDAP_SERVER_DOWN || rc == LDAP_TIMEOUT || rc == LDAP_CONNECT_ERROR) Fail(rc);
  }
  return servers.emplace(key, std::move(server)).first->second;
}

Connection::Connection(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Connection::~Connection() = default;
Connection::Connection(Connection&&) noexcept = default;
Connection& Connection::operator=(Connection&&) noexcept = default;

Connection Connection::Open(std::optional<Credentials> credentials) {
  auto impl = std::make_unique<Impl>();
  impl->credentials = std::move(credentials);
  return Connection(std::move(impl));
}

bool Connection::IsOpen() const { return impl_ != nullptr; }

std::optional<Entry> Connection::SearchFirst(const std::string& commandText, int pageSize,
                                             int timeLimitSeconds) {
  if (!impl_) Fail(LDAP_PARAM_ERROR);
  SearchRequest request = ParseSearchText(commandText);
  Server& server = impl_->Get(request, timeLimitSeconds);
  LDAP* ld = server.ld.get();
  std::wstring base = Widen(request.base.empty() ? server.defaultBase : request.base);
  std::wstring filter = Widen(request.filter);

  // "1.1" asks for no attributes at all (an empty list would ask for all).
  std::vector<std::wstring> names;
  for (const auto& a : request.attributes) names.push_back(Widen(a));
  if (names.empty()) names.emplace_back(L"1.1");

  std::wstring oid = Widen(kPagedResultsOid);
  std::string cookie;  // of the previous page; empty for the first
  for (;;) {
    // The control is built here: Wine's page-control helpers lose the cookie.
    std::string value = EncodePageControl(pageSize, cookie);
    LDAPControlW page{};
    page.ldctl_oid = oid.data();
    page.ldctl_value.bv_len = static_cast<ULONG>(value.size());
    page.ldctl_value.bv_val = value.data();
    page.ldctl_iscritical = FALSE;
    PLDAPControlW serverControls[] = {&page, nullptr};
    ULONG msgid = StartSearch(ld, base, ToScope(request.scope), filter, names, serverControls,
                              timeLimitSeconds, 0);

    for (;;) {
      Message message;
      ULONG type = NextMessage(ld, msgid, timeLimitSeconds, message);
      if (type == static_cast<ULONG>(LDAP_RES_SEARCH_ENTRY)) {
        Entry entry = ReadEntry(ld, message.get());
        // The first entry is the one wanted; the rest of the search is dropped.
        ldap_abandon(ld, msgid);
        return entry;
      }
      if (type != static_cast<ULONG>(LDAP_RES_SEARCH_RESULT)) continue;

      Controls controls;
      ULONG rc = ResultCode(ld, message.get(), &controls);
      if (rc != LDAP_SUCCESS) Fail(rc);
      cookie.clear();
      if (controls) {
        for (PLDAPControlW* c = controls.get(); *c != nullptr; ++c) {
          if (Narrow((*c)->ldctl_oid) != kPagedResultsOid) continue;
          std::string response((*c)->ldctl_value.bv_val, (*c)->ldctl_value.bv_len);
          if (!DecodePageResponse(response, cookie)) cookie.clear();
        }
      }
      break;
    }
    if (cookie.empty()) return std::nullopt;
  }
}

}  // namespace qm::platform::directory
