// The directory provider's search text, the paged-results control value and
// the error numbers of the directory service.
#include <gtest/gtest.h>
#include <ldap.h>

#include <string>
#include <vector>

#include "platform/common/ldap_search.h"
#include "platform/directory.h"

namespace dir = qm::platform::directory;

namespace {

struct ParseRow {
  const char* name;
  const char* text;
  const char* server;
  int port;
  const char* base;
  const char* filter;
  std::vector<std::string> attributes;
  dir::Scope scope;
};

const std::vector<ParseRow> kParseRows = {
    {"serverless", "<LDAP://ou=A,dc=x>;(&(a=b)(c=d));givenName,sn;subtree", "", 0, "ou=A,dc=x",
     "(&(a=b)(c=d))", {"givenName", "sn"}, dir::Scope::Subtree},
    {"server and port", "<LDAP://dc1.corp.local:3268/DC=corp,DC=local>;(cn=*);mail;onelevel",
     "dc1.corp.local", 3268, "DC=corp,DC=local", "(cn=*)", {"mail"}, dir::Scope::OneLevel},
    {"server without port", "<LDAP://dc1/DC=x>;(cn=*);mail;BASE", "dc1", 0, "DC=x", "(cn=*)",
     {"mail"}, dir::Scope::Base},
    {"server alone", "<LDAP://dc1>;(cn=*);mail;subtree", "dc1", 0, "", "(cn=*)", {"mail"},
     dir::Scope::Subtree},
    {"empty path", "<LDAP://>;(cn=*);mail;subtree", "", 0, "", "(cn=*)", {"mail"},
     dir::Scope::Subtree},
    {"server with empty base", "<LDAP://127.0.0.1:389/>;(cn=*);mail;subtree", "127.0.0.1", 389,
     "", "(cn=*)", {"mail"}, dir::Scope::Subtree},
    {"escaped slash stays in the base", "<LDAP://CN=a\\/b,DC=x>;(cn=*);mail;subtree", "", 0,
     "CN=a/b,DC=x", "(cn=*)", {"mail"}, dir::Scope::Subtree},
    {"other escapes kept", "<LDAP://CN=Berg\\, Erika,DC=x>;(cn=*);mail;subtree", "", 0,
     "CN=Berg\\, Erika,DC=x", "(cn=*)", {"mail"}, dir::Scope::Subtree},
    {"scope in mixed case", "<LDAP://dc=x>;(cn=*);mail;SubTree", "", 0, "dc=x", "(cn=*)",
     {"mail"}, dir::Scope::Subtree},
    {"scope onelevel upper case", "<LDAP://dc=x>;(cn=*);mail;ONELEVEL", "", 0, "dc=x", "(cn=*)",
     {"mail"}, dir::Scope::OneLevel},
    {"scope omitted", "<LDAP://dc=x>;(cn=*);mail", "", 0, "dc=x", "(cn=*)", {"mail"},
     dir::Scope::Subtree},
    {"semicolon inside the filter", "<LDAP://dc=x>;(&(sAMAccountName=a;b));mail;subtree", "", 0,
     "dc=x", "(&(sAMAccountName=a;b))", {"mail"}, dir::Scope::Subtree},
    {"attribute names trimmed, empty ones dropped", "<LDAP://dc=x>;(cn=*);givenName, sn,,mail ;base",
     "", 0, "dc=x", "(cn=*)", {"givenName", "sn", "mail"}, dir::Scope::Base},
    {"no attributes", "<LDAP://dc=x>;(cn=*);;subtree", "", 0, "dc=x", "(cn=*)", {},
     dir::Scope::Subtree},
    {"same attribute twice", "<LDAP://dc=x>;(cn=*);mail,mail;subtree", "", 0, "dc=x", "(cn=*)",
     {"mail", "mail"}, dir::Scope::Subtree},
    {"IPv6 server", "<LDAP://[::1]:1389/dc=x>;(cn=*);mail;subtree", "::1", 1389, "dc=x",
     "(cn=*)", {"mail"}, dir::Scope::Subtree},
    {"prefix in lower case", "<ldap://dc=x>;(cn=*);mail;subtree", "", 0, "dc=x", "(cn=*)",
     {"mail"}, dir::Scope::Subtree},
    {"blank base elements kept", "<LDAP:// ou=A,dc=x>;(cn=*);mail;subtree", "", 0, " ou=A,dc=x",
     "(cn=*)", {"mail"}, dir::Scope::Subtree},
};

TEST(LdapSearchText, ParsesTheProviderDialect) {
  for (const ParseRow& row : kParseRows) {
    SCOPED_TRACE(row.name);
    dir::SearchRequest r;
    ASSERT_NO_THROW(r = dir::ParseSearchText(row.text)) << row.text;
    EXPECT_EQ(r.server, row.server);
    EXPECT_EQ(r.port, row.port);
    EXPECT_EQ(r.base, row.base);
    EXPECT_EQ(r.filter, row.filter);
    EXPECT_EQ(r.attributes, row.attributes);
    EXPECT_EQ(r.scope, row.scope);
  }
}

struct BadRow {
  const char* name;
  const char* text;
};

const std::vector<BadRow> kBadRows = {
    {"empty", ""},
    {"no angle brackets", "LDAP://dc=x;(cn=*);mail;subtree"},
    {"other provider", "<GC://dc=x>;(cn=*);mail;subtree"},
    {"no closing bracket", "<LDAP://dc=x;(cn=*);mail"},
    {"no semicolon after the path", "<LDAP://dc=x>(cn=*);mail;subtree"},
    {"nothing after the path", "<LDAP://dc=x>"},
    {"no filter", "<LDAP://dc=x>;;mail;subtree"},
    {"filter without attribute part", "<LDAP://dc=x>;(cn=*)"},
    {"unknown scope", "<LDAP://dc=x>;(cn=*);mail;everything"},
    {"port zero", "<LDAP://dc1:0/dc=x>;(cn=*);mail;subtree"},
    {"port too large", "<LDAP://dc1:65536/dc=x>;(cn=*);mail;subtree"},
    {"port not a number", "<LDAP://dc1:ldap/dc=x>;(cn=*);mail;subtree"},
    {"empty port", "<LDAP://dc1:/dc=x>;(cn=*);mail;subtree"},
    {"port without host", "<LDAP://:389/dc=x>;(cn=*);mail;subtree"},
    {"unclosed IPv6 bracket", "<LDAP://[::1/dc=x>;(cn=*);mail;subtree"},
};

TEST(LdapSearchText, RejectsMalformedTextsWithTheCommandError) {
  for (const BadRow& row : kBadRows) {
    SCOPED_TRACE(row.name);
    try {
      dir::ParseSearchText(row.text);
      ADD_FAILURE() << "accepted: " << row.text;
    } catch (const qm::Error& e) {
      EXPECT_EQ(e.Number(), dir::kErrorsInCommand);
      EXPECT_EQ(e.Description(), dir::kErrorsInCommandText);
    }
  }
}

TEST(LdapSearchText, ServerKeyTellsServersApartWithoutRegardToCase) {
  auto key = [](const char* text) { return dir::ServerKey(dir::ParseSearchText(text)); };
  EXPECT_EQ(key("<LDAP://dc=x>;(cn=*);a"), "");
  EXPECT_EQ(key("<LDAP://DC1/dc=x>;(cn=*);a"), key("<LDAP://dc1/dc=y>;(cn=*);a"));
  EXPECT_NE(key("<LDAP://dc1/dc=x>;(cn=*);a"), key("<LDAP://dc1:636/dc=x>;(cn=*);a"));
  EXPECT_NE(key("<LDAP://dc1/dc=x>;(cn=*);a"), key("<LDAP://dc2/dc=x>;(cn=*);a"));
}

TEST(LdapEntry, FindsAttributesWithoutRegardToCase) {
  dir::Entry entry;
  entry.attributes = {{"givenName", {"Max"}}, {"description", {"A", "B"}}};
  ASSERT_NE(entry.Find("GIVENNAME"), nullptr);
  EXPECT_EQ(*entry.Find("GIVENNAME"), std::vector<std::string>{"Max"});
  EXPECT_EQ(*entry.Find("Description"), (std::vector<std::string>{"A", "B"}));
  EXPECT_EQ(entry.Find("givenNam"), nullptr);
  EXPECT_EQ(entry.Find("mail"), nullptr);
}

// The numbers are those the directory provider reports, so a log line from
// Linux reads like one from Windows. The OpenLDAP codes come from its header.
TEST(LdapErrors, NumbersFollowTheProvider) {
  struct Row {
    const char* name;
    int openLdapCode;
    long number;
  } rows[] = {
      {"server down", LDAP_SERVER_DOWN, -2147016646},
      {"connect error", LDAP_CONNECT_ERROR, -2147016646},
      {"no such object", LDAP_NO_SUCH_OBJECT, -2147016656},
      {"invalid credentials", LDAP_INVALID_CREDENTIALS, -2147023570},
      {"filter error", LDAP_FILTER_ERROR, -2147016642},
      {"client timeout", LDAP_TIMEOUT, -2147023436},
      {"time limit exceeded", LDAP_TIMELIMIT_EXCEEDED, -2147016670},
      {"invalid DN syntax", LDAP_INVALID_DN_SYNTAX, -2147016654},
      {"insufficient access", LDAP_INSUFFICIENT_ACCESS, -2147024891},
      {"something else", LDAP_OTHER, -2147016555},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(dir::ErrorNumber(dir::WindowsResultCode(row.openLdapCode)), row.number);
  }
  EXPECT_EQ(dir::WindowsResultCode(LDAP_SERVER_DOWN), 0x51);
  EXPECT_EQ(dir::WindowsResultCode(LDAP_REFERRAL_LIMIT_EXCEEDED), 0x61);
  qm::Error e = dir::MakeError(0x51, "Can't contact LDAP server");
  EXPECT_EQ(e.Number(), -2147016646);
  EXPECT_EQ(e.Description(), "Can't contact LDAP server");
}

// The control value built for wldap32 must be byte for byte what libldap sends.
TEST(LdapPageControl, EncodesLikeLibldapAndDecodesItsCookie) {
  LDAP* ld = nullptr;
  ASSERT_EQ(ldap_initialize(&ld, "ldap://127.0.0.1:9/"), LDAP_SUCCESS);
  const std::string longCookie(300, '\x81');
  struct Row {
    int pageSize;
    std::string cookie;
  } rows[] = {{99, ""}, {99, "abc"}, {1, ""}, {127, "x"}, {128, ""}, {255, ""},
              {256, std::string("\0\1", 2)}, {70000, longCookie}};
  for (const Row& row : rows) {
    SCOPED_TRACE("page size " + std::to_string(row.pageSize) + ", cookie of " +
                 std::to_string(row.cookie.size()));
    berval cookie{row.cookie.size(), const_cast<char*>(row.cookie.data())};
    berval value{};
    ASSERT_EQ(ldap_create_page_control_value(ld, row.pageSize, &cookie, &value), LDAP_SUCCESS);
    std::string expected(value.bv_val, value.bv_len);
    ldap_memfree(value.bv_val);
    EXPECT_EQ(dir::EncodePageControl(row.pageSize, row.cookie), expected);
    std::string decoded = "stale";
    ASSERT_TRUE(dir::DecodePageResponse(expected, decoded));
    EXPECT_EQ(decoded, row.cookie);
  }
  ldap_unbind_ext_s(ld, nullptr, nullptr);

  std::string cookie;
  EXPECT_FALSE(dir::DecodePageResponse("", cookie));
  EXPECT_FALSE(dir::DecodePageResponse(std::string("\x30\x05\x02\x01\x63\x04\x05", 7), cookie))
      << "cookie runs past the end";
  EXPECT_FALSE(dir::DecodePageResponse(std::string("\x31\x03\x02\x01\x63", 5), cookie))
      << "not a sequence";
}

}  // namespace
