// The directory service, OS-independent: one connection per server, the paged
// search (the first entry, or all of them), and the pieces of
// common/ldap_client.h.
#include "platform/directory.h"

#include <map>
#include <utility>

#include "platform/common/ldap_client.h"

namespace qm::platform::directory {

namespace {

// Asks for no attributes at all (an empty list would ask for all).
constexpr std::string_view kNoAttributes = "1.1";

// The user's entry normally comes on the first page; a server sends an empty
// page with a cookie only when it ended a page early. One that does so on every
// page would otherwise be asked for the next page for ever.
constexpr int kMostPages = 1000;

// The cookie of the paged-results response among a result's controls; "" when
// there is none, that is after the last page.
std::string PageCookie(const Controls& controls) {
  std::string cookie;
  if (!controls) return cookie;
  for (native::Control** c = controls.get(); *c != nullptr; ++c) {
    if (FromLdap((*c)->ldctl_oid) != kPagedResultsOid) continue;
    const std::string value((*c)->ldctl_value.bv_val, (*c)->ldctl_value.bv_len);
    if (!DecodePageResponse(value, cookie)) cookie.clear();
  }
  return cookie;
}

}  // namespace

Code ToScope(Scope scope) {
  switch (scope) {
    case Scope::Base: return LDAP_SCOPE_BASE;
    case Scope::OneLevel: return LDAP_SCOPE_ONELEVEL;
    case Scope::Subtree: break;
  }
  return LDAP_SCOPE_SUBTREE;
}

Entry ReadEntry(LDAP* ld, LDAPMessage* entry) {
  Entry result;
  if (LdapString dn(native::EntryDn(ld, entry)); dn) result.dn = FromLdap(dn.get());
  BerElement* rawBer = nullptr;
  LdapString name(native::FirstAttribute(ld, entry, &rawBer));
  Ber ber(rawBer);
  for (; name; name.reset(native::NextAttribute(ld, entry, ber.get()))) {
    std::vector<std::string> values;
    Values raw(native::AttributeValues(ld, entry, name.get()));
    if (raw) {
      for (berval** v = raw.get(); *v != nullptr; ++v)
        values.emplace_back((*v)->bv_val, (*v)->bv_len);
    }
    result.attributes.emplace_back(FromLdap(name.get()), std::move(values));
  }
  return result;
}

Code NextMessage(LDAP* ld, Code msgid, const Deadline& deadline, Message& message) {
  // A zero wait would only poll; a deadline that has passed ends the operation here.
  Code type = 0;
  if (!deadline.Passed()) {
    native::Timeval timeout = deadline.Left();
    LDAPMessage* raw = nullptr;
    type = ldap_result(ld, msgid, LDAP_MSG_ONE, &timeout, &raw);
    message.reset(raw);
  }
  if (type == 0) {
    native::Abandon(ld, msgid);
    native::Fail(LDAP_TIMEOUT);
  }
  if (type == kNoMessage) native::Fail(native::LastError(ld));
  return type;
}

Code ResultCode(LDAP* ld, LDAPMessage* message, Controls* controls) {
  Code result = LDAP_SUCCESS;
  native::Control** raw = nullptr;
  const Code rc = native::ParseResult(ld, message, &result, nullptr, nullptr, nullptr,
                                      controls != nullptr ? &raw : nullptr, 0);
  if (controls != nullptr) controls->reset(raw);
  return rc != LDAP_SUCCESS ? rc : result;
}

Code StartSearch(LDAP* ld, std::string_view base, Scope scope, std::string_view filter,
                 const std::vector<std::string>& attributes, native::Control** serverControls,
                 const Deadline& deadline, Code sizeLimit) {
  LdapText b = ToLdap(base);
  LdapText f = ToLdap(filter);
  std::vector<LdapText> names;
  for (const std::string& a : attributes) names.push_back(ToLdap(a));
  std::vector<native::Char*> list;
  for (LdapText& n : names) list.push_back(n.data());
  list.push_back(nullptr);
  Code msgid = 0;
  const Code rc = native::Search(ld, b.data(), ToScope(scope), f.data(), list.data(),
                                 serverControls, deadline.SecondsLeft(), sizeLimit, &msgid);
  if (rc != LDAP_SUCCESS) native::Fail(rc);
  return msgid;
}

struct Connection::Impl {
  std::optional<Credentials> credentials;
  Encryption encryption = Encryption::None;
  std::map<std::string, Server> servers;  // by ServerKey
};

Connection::Connection(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Connection::~Connection() = default;
Connection::Connection(Connection&&) noexcept = default;
Connection& Connection::operator=(Connection&&) noexcept = default;

Connection Connection::Open(std::optional<Credentials> credentials, Encryption encryption) {
  auto impl = std::make_unique<Impl>();
  impl->credentials = std::move(credentials);
  impl->encryption = encryption;
  return Connection(std::move(impl));
}

bool Connection::IsOpen() const { return impl_ != nullptr; }

// One paged search on the connection's server for it (connected and bound
// when new), each entry handed to take until it answers false; the rest of
// the search is then dropped. Everything, the connection included, is over by
// the deadline.
template <typename Take>
void PagedSearch(Connection::Impl& impl, const Search& search, const Deadline& deadline,
                 const Take& take) {
  const std::string key = ServerKey(search);
  auto it = impl.servers.find(key);
  if (it == impl.servers.end()) {
    Server server = native::Connect(search, impl.credentials, impl.encryption, deadline);
    it = impl.servers.emplace(key, std::move(server)).first;
  }
  Server& server = it->second;
  LDAP* ld = server.ld.get();
  std::string base = search.base;
  if (base.empty()) {
    if (!server.defaultBase)
      server.defaultBase = native::DefaultBase(ld, key.empty(), deadline);
    base = *server.defaultBase;
  }
  std::vector<std::string> attributes = search.attributes;
  if (attributes.empty()) attributes.emplace_back(kNoAttributes);

  LdapText oid = ToLdap(kPagedResultsOid);
  std::string cookie;  // of the previous page; empty for the first
  for (int pages = 1;; ++pages) {
    if (pages > kMostPages) native::Fail(LDAP_TIMEOUT);
    // The control is built here: Wine's page-control helpers lose the cookie.
    std::string value = EncodePageControl(search.pageSize, cookie);
    native::Control page{};
    page.ldctl_oid = oid.data();
    page.ldctl_value.bv_len = static_cast<decltype(page.ldctl_value.bv_len)>(value.size());
    page.ldctl_value.bv_val = value.data();
    native::Control* serverControls[] = {&page, nullptr};
    const Code msgid = StartSearch(ld, base, search.scope, search.filter, attributes,
                                   serverControls, deadline, 0);
    for (;;) {
      Message message;
      const Code type = NextMessage(ld, msgid, deadline, message);
      if (type == static_cast<Code>(LDAP_RES_SEARCH_ENTRY)) {
        if (!take(ReadEntry(ld, message.get()))) {
          native::Abandon(ld, msgid);
          return;
        }
        continue;
      }
      if (type != static_cast<Code>(LDAP_RES_SEARCH_RESULT)) continue;  // references and the like
      Controls controls;
      const Code rc = ResultCode(ld, message.get(), &controls);
      if (rc != LDAP_SUCCESS) native::Fail(rc);
      cookie = PageCookie(controls);
      break;
    }
    if (cookie.empty()) return;
  }
}

std::optional<Entry> Connection::SearchFirst(const Search& search, int timeLimitSeconds) {
  if (!impl_) native::Fail(LDAP_PARAM_ERROR);
  // The time limit is the whole search's: the connection when it is new, the
  // default base, every page and every reference.
  std::optional<Entry> first;
  PagedSearch(*impl_, search, Deadline(timeLimitSeconds), [&first](Entry entry) {
    first = std::move(entry);
    return false;
  });
  return first;
}

std::vector<Entry> Connection::SearchAll(const Search& search,
                                         std::chrono::steady_clock::time_point deadline) {
  if (!impl_) native::Fail(LDAP_PARAM_ERROR);
  std::vector<Entry> entries;
  PagedSearch(*impl_, search, Deadline(deadline), [&entries](Entry entry) {
    entries.push_back(std::move(entry));
    return true;
  });
  return entries;
}

}  // namespace qm::platform::directory
