// The directory service on OpenLDAP's libldap. A search text without a server
// goes to the server of the LDAP client configuration (ldap.conf, LDAPURI);
// with an account it binds simply, without one anonymously.
#include "platform/directory.h"

#include <ldap.h>
#include <sys/time.h>

#include <map>

#include "platform/common/ldap_search.h"

namespace qm::platform::directory {

namespace {

struct LdapCloser {
  void operator()(LDAP* ld) const { ldap_unbind_ext_s(ld, nullptr, nullptr); }
};
using LdapHandle = std::unique_ptr<LDAP, LdapCloser>;

struct MessageCloser {
  void operator()(LDAPMessage* m) const { ldap_msgfree(m); }
};
using Message = std::unique_ptr<LDAPMessage, MessageCloser>;

struct ControlCloser {
  void operator()(LDAPControl* c) const { ldap_control_free(c); }
};
using Control = std::unique_ptr<LDAPControl, ControlCloser>;

struct ControlsCloser {
  void operator()(LDAPControl** c) const { ldap_controls_free(c); }
};
using Controls = std::unique_ptr<LDAPControl*, ControlsCloser>;

struct BerCloser {
  void operator()(BerElement* b) const { ber_free(b, 0); }
};
using Ber = std::unique_ptr<BerElement, BerCloser>;

struct MemCloser {
  void operator()(char* p) const { ldap_memfree(p); }
};
using LdapString = std::unique_ptr<char, MemCloser>;

struct ValuesCloser {
  void operator()(berval** v) const { ldap_value_free_len(v); }
};
using Values = std::unique_ptr<berval*, ValuesCloser>;

[[noreturn]] void Fail(int rc) {
  throw MakeError(WindowsResultCode(rc), ldap_err2string(rc));
}

int LastResult(LDAP* ld) {
  int rc = LDAP_OTHER;
  ldap_get_option(ld, LDAP_OPT_RESULT_CODE, &rc);
  return rc == LDAP_SUCCESS ? LDAP_OTHER : rc;
}

std::string Uri(const SearchRequest& request) {
  std::string host = request.server;
  if (host.find(':') != std::string::npos) host = "[" + host + "]";
  return "ldap://" + host + ":" + std::to_string(request.port != 0 ? request.port : LDAP_PORT);
}

int ToScope(Scope scope) {
  switch (scope) {
    case Scope::Base: return LDAP_SCOPE_BASE;
    case Scope::OneLevel: return LDAP_SCOPE_ONELEVEL;
    case Scope::Subtree: break;
  }
  return LDAP_SCOPE_SUBTREE;
}

/// Waits for the next message of the operation; a server that stays silent for
/// the time limit ends the operation with a timeout.
Message NextMessage(LDAP* ld, int msgid, int timeLimitSeconds) {
  timeval timeout{timeLimitSeconds, 0};
  LDAPMessage* raw = nullptr;
  int type = ldap_result(ld, msgid, LDAP_MSG_ONE, &timeout, &raw);
  Message message(raw);
  if (type == 0) {
    ldap_abandon_ext(ld, msgid, nullptr, nullptr);
    Fail(LDAP_TIMEOUT);
  }
  if (type < 0) Fail(LastResult(ld));
  return message;
}

Entry ReadEntry(LDAP* ld, LDAPMessage* message) {
  Entry entry;
  BerElement* rawBer = nullptr;
  for (LdapString name(ldap_first_attribute(ld, message, &rawBer)); name;
       name.reset(ldap_next_attribute(ld, message, rawBer))) {
    std::vector<std::string> values;
    Values raw(ldap_get_values_len(ld, message, name.get()));
    if (raw) {
      for (berval** v = raw.get(); *v != nullptr; ++v)
        values.emplace_back((*v)->bv_val, (*v)->bv_len);
    }
    entry.attributes.emplace_back(name.get(), std::move(values));
  }
  Ber ber(rawBer);
  return entry;
}

}  // namespace

struct Connection::Impl {
  std::optional<Credentials> credentials;
  std::map<std::string, LdapHandle> servers;

  LDAP* Server(const SearchRequest& request, int timeLimitSeconds);
  std::string DefaultBase(LDAP* ld, bool defaultServer, int timeLimitSeconds);
};

LDAP* Connection::Impl::Server(const SearchRequest& request, int timeLimitSeconds) {
  std::string key = ServerKey(request);
  if (auto it = servers.find(key); it != servers.end()) return it->second.get();

  LDAP* raw = nullptr;
  std::string uri = key.empty() ? std::string() : Uri(request);
  // A null URI makes libldap take the URI (or HOST and PORT) of its configuration.
  int rc = ldap_initialize(&raw, key.empty() ? nullptr : uri.c_str());
  LdapHandle ld(raw);
  if (rc != LDAP_SUCCESS) Fail(rc);
  if (!ld) Fail(LDAP_LOCAL_ERROR);

  int version = LDAP_VERSION3;
  ldap_set_option(ld.get(), LDAP_OPT_PROTOCOL_VERSION, &version);
  ldap_set_option(ld.get(), LDAP_OPT_REFERRALS, LDAP_OPT_OFF);
  timeval timeout{timeLimitSeconds, 0};
  ldap_set_option(ld.get(), LDAP_OPT_NETWORK_TIMEOUT, &timeout);
  ldap_set_option(ld.get(), LDAP_OPT_TIMEOUT, &timeout);

  berval password{};
  std::string user;
  if (credentials) {
    user = credentials->user;
    password.bv_val = credentials->password.data();
    password.bv_len = credentials->password.size();
  }
  rc = ldap_sasl_bind_s(ld.get(), credentials ? user.c_str() : nullptr, LDAP_SASL_SIMPLE,
                        &password, nullptr, nullptr, nullptr);
  if (rc != LDAP_SUCCESS) Fail(rc);
  return servers.emplace(key, std::move(ld)).first->second.get();
}

// An empty base means the directory's own default: the BASE of the client
// configuration for the default server, else the naming context the server
// announces (Active Directory's defaultNamingContext); else "" and the server
// applies its default search base.
std::string Connection::Impl::DefaultBase(LDAP* ld, bool defaultServer, int timeLimitSeconds) {
  if (defaultServer) {
    char* raw = nullptr;
    if (ldap_get_option(ld, LDAP_OPT_DEFBASE, &raw) == LDAP_OPT_SUCCESS && raw != nullptr) {
      LdapString base(raw);
      if (*raw != '\0') return raw;
    }
  }
  char attr[] = "defaultNamingContext";
  char* attrs[] = {attr, nullptr};
  timeval timeout{timeLimitSeconds, 0};
  LDAPMessage* raw = nullptr;
  int rc = ldap_search_ext_s(ld, "", LDAP_SCOPE_BASE, "(objectClass=*)", attrs, 0, nullptr,
                             nullptr, &timeout, 1, &raw);
  Message result(raw);
  if (rc != LDAP_SUCCESS) return "";
  LDAPMessage* first = ldap_first_entry(ld, result.get());
  if (first == nullptr) return "";
  Values values(ldap_get_values_len(ld, first, attr));
  if (!values || values.get()[0] == nullptr) return "";
  return std::string(values.get()[0]->bv_val, values.get()[0]->bv_len);
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
  LDAP* ld = impl_->Server(request, timeLimitSeconds);
  std::string base = request.base;
  if (base.empty()) base = impl_->DefaultBase(ld, ServerKey(request).empty(), timeLimitSeconds);

  // "1.1" asks for no attributes at all (an empty list would ask for all).
  std::vector<std::string> names = request.attributes;
  if (names.empty()) names.emplace_back(LDAP_NO_ATTRS);
  std::vector<char*> attrs;
  for (auto& n : names) attrs.push_back(n.data());
  attrs.push_back(nullptr);

  std::string cookie;  // of the previous page; empty for the first
  for (;;) {
    LDAPControl* rawPage = nullptr;
    berval cookieValue{cookie.size(), cookie.data()};
    int rc = ldap_create_page_control(ld, static_cast<ber_int_t>(pageSize),
                                      cookie.empty() ? nullptr : &cookieValue, 0, &rawPage);
    Control page(rawPage);
    if (rc != LDAP_SUCCESS) Fail(rc);
    LDAPControl* serverControls[] = {page.get(), nullptr};
    timeval timeout{timeLimitSeconds, 0};
    int msgid = 0;
    rc = ldap_search_ext(ld, base.c_str(), ToScope(request.scope), request.filter.c_str(),
                         attrs.data(), 0, serverControls, nullptr, &timeout, 0, &msgid);
    if (rc != LDAP_SUCCESS) Fail(rc);

    for (;;) {
      Message message = NextMessage(ld, msgid, timeLimitSeconds);
      int type = ldap_msgtype(message.get());
      if (type == LDAP_RES_SEARCH_ENTRY) {
        Entry entry = ReadEntry(ld, message.get());
        // The first entry is the one wanted; the rest of the search is dropped.
        ldap_abandon_ext(ld, msgid, nullptr, nullptr);
        return entry;
      }
      if (type != LDAP_RES_SEARCH_RESULT) continue;  // references and the like

      int result = LDAP_SUCCESS;
      LDAPControl** rawControls = nullptr;
      rc = ldap_parse_result(ld, message.get(), &result, nullptr, nullptr, nullptr,
                             &rawControls, 0);
      Controls controls(rawControls);
      if (rc != LDAP_SUCCESS) Fail(rc);
      if (result != LDAP_SUCCESS) Fail(result);
      cookie.clear();
      LDAPControl* response =
          controls ? ldap_control_find(LDAP_CONTROL_PAGEDRESULTS, controls.get(), nullptr)
                   : nullptr;
      berval next{};
      ber_int_t estimate = 0;
      if (response != nullptr &&
          ldap_parse_pageresponse_control(ld, response, &estimate, &next) == LDAP_SUCCESS &&
          next.bv_val != nullptr) {
        cookie.assign(next.bv_val, next.bv_len);
        ber_memfree(next.bv_val);
      }
      break;
    }
    if (cookie.empty()) return std::nullopt;
  }
}

}  // namespace qm::platform::directory
