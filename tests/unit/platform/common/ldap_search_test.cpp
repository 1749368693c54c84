// The directory provider's search text, the paged-results control value, the
// and the error numbers of the directory service.
#include <ldap.h>

#include <vector>

#include "platform/common/ldap_search.h"
#include "platform/database.h"
#include "platform/directory.h"
#include "unit_support.h"

namespace dir = qm::platform::directory;

namespace {

// The parts of a search text as "server|port|base|filter|attributes|scope".
std::string Parsed(const std::string& text) {
  const dir::SearchRequest r = dir::ParseSearchText(text);
  std::string attributes;
  for (size_t i = 0; i < r.attributes.size(); ++i) attributes += (i ? "," : "") + r.attributes[i];
  const char* scopes[] = {"base", "onelevel", "subtree"};
  return r.server + "|" + std::to_string(r.port) + "|" + r.base + "|" + r.filter + "|" + attributes + "|" +
         scopes[static_cast<int>(r.scope)];
}

TEST(LdapSearchText, Parse) {
  const struct {
    const char* name;
    const char* text;
    const char* parts;
  } rows[] = {
      {"serverless", "<LDAP://ou=A,dc=x>;(&(a=b)(c=d));givenName,sn;subtree",
       "|0|ou=A,dc=x|(&(a=b)(c=d))|givenName,sn|subtree"},
      {"server and port", "<LDAP://dc1.corp.local:3268/DC=corp,DC=local>;(cn=*);mail;onelevel",
       "dc1.corp.local|3268|DC=corp,DC=local|(cn=*)|mail|onelevel"},
      {"server without port, prefix and scope in other cases", "<ldap://dc1/DC=x>;(cn=*);mail;BASE",
       "dc1|0|DC=x|(cn=*)|mail|base"},
      {"server alone", "<LDAP://dc1>;(cn=*);mail;subtree", "dc1|0||(cn=*)|mail|subtree"},
      {"empty path", "<LDAP://>;(cn=*);mail;subtree", "|0||(cn=*)|mail|subtree"},
      {"IPv6 server", "<LDAP://[::1]:1389/dc=x>;(cn=*);mail;subtree", "::1|1389|dc=x|(cn=*)|mail|subtree"},
      {"escaped slash, other escapes kept", "<LDAP://CN=a\\/b\\, E,DC=x>;(cn=*);mail;subtree",
       "|0|CN=a/b\\, E,DC=x|(cn=*)|mail|subtree"},
      {"scope omitted", "<LDAP://dc=x>;(cn=*);mail", "|0|dc=x|(cn=*)|mail|subtree"},
      {"semicolon inside the filter", "<LDAP://dc=x>;(&(sAMAccountName=a;b));mail;subtree",
       "|0|dc=x|(&(sAMAccountName=a;b))|mail|subtree"},
      {"attribute names trimmed, empty ones dropped", "<LDAP://dc=x>;(cn=*);givenName, sn,,mail ;base",
       "|0|dc=x|(cn=*)|givenName,sn,mail|base"},
      {"empty", "", "error"},
      {"no closing bracket", "<LDAP://dc=x;(cn=*);mail", "error"},
      {"no semicolon after the path", "<LDAP://dc=x>(cn=*);mail;subtree", "error"},
      {"no filter", "<LDAP://dc=x>;;mail;subtree", "error"},
      {"filter without attribute part", "<LDAP://dc=x>;(cn=*)", "error"},
      {"unknown scope", "<LDAP://dc=x>;(cn=*);mail;everything", "error"},
      {"port zero", "<LDAP://dc1:0/dc=x>;(cn=*);mail;subtree", "error"},
      {"port too large", "<LDAP://dc1:65536/dc=x>;(cn=*);mail;subtree", "error"},
      {"port not a number", "<LDAP://dc1:ldap/dc=x>;(cn=*);mail;subtree", "error"},
      {"empty port", "<LDAP://dc1:/dc=x>;(cn=*);mail;subtree", "error"},
      {"port without host", "<LDAP://:389/dc=x>;(cn=*);mail;subtree", "error"},
      {"unclosed IPv6 bracket", "<LDAP://[::1/dc=x>;(cn=*);mail;subtree", "error"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    if (std::string(row.parts) != "error") {
      EXPECT_EQ(Parsed(row.text), row.parts);
      continue;
    }
    // The provider's error for a malformed command text (0x80040E14).
    qm::unit::ExpectError(-2147217900, [&] { dir::ParseSearchText(row.text); },
                          "Ein oder mehrere Fehler sind während der Verarbeitung des Befehls aufgetreten.");
  }
}

// The numbers are those the directory provider reports, so a log line from
// Linux reads like one from Windows. The OpenLDAP codes come from its header;
// those of the servers the whole-program tests meet are checked there.
TEST(LdapErrors, NumbersFollowTheProvider) {
  const struct {
    const char* name;
    int openLdapCode;
    long number;
  } rows[] = {
      {"time limit exceeded", LDAP_TIMELIMIT_EXCEEDED, -2147016670},
      {"invalid DN syntax", LDAP_INVALID_DN_SYNTAX, -2147016654},
      {"insufficient access", LDAP_INSUFFICIENT_ACCESS, -2147024891},
      {"something else", LDAP_OTHER, -2147016555},
      {"referral limit, the last client code", LDAP_REFERRAL_LIMIT_EXCEEDED, -2147016636},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(dir::ErrorNumber(dir::WindowsResultCode(row.openLdapCode)), row.number);
  }
}

// The control value built for wldap32 must be byte for byte what libldap sends.
TEST(LdapPageControl, EncodesLikeLibldapAndDecodesItsCookie) {
  LDAP* ld = nullptr;
  ASSERT_EQ(ldap_initialize(&ld, "ldap://127.0.0.1:9/"), LDAP_SUCCESS);
  const struct {
    int pageSize;
    std::string cookie;
  } rows[] = {{127, "abc"}, {128, ""}, {256, std::string("\0\1", 2)}, {70000, std::string(300, '\x81')}};
  for (const auto& row : rows) {
    SCOPED_TRACE("page size " + std::to_string(row.pageSize) + ", cookie of " + std::to_string(row.cookie.size()));
    berval cookie{row.cookie.size(), const_cast<char*>(row.cookie.data())};
    berval value{};
    ASSERT_EQ(ldap_create_page_control_value(ld, row.pageSize, &cookie, &value), LDAP_SUCCESS);
    const std::string expected(value.bv_val, value.bv_len);
    ldap_memfree(value.bv_val);
    EXPECT_EQ(dir::EncodePageControl(row.pageSize, row.cookie), expected);
    std::string decoded = "stale";
    EXPECT_TRUE(dir::DecodePageResponse(expected, decoded));
    EXPECT_EQ(decoded, row.cookie);
  }
  ldap_unbind_ext_s(ld, nullptr, nullptr);

  std::string cookie;
  EXPECT_FALSE(dir::DecodePageResponse("", cookie));
  EXPECT_FALSE(dir::DecodePageResponse(std::string("\x30\x05\x02\x01\x63\x04\x05", 7), cookie)) << "past the end";
  EXPECT_FALSE(dir::DecodePageResponse(std::string("\x31\x03\x02\x01\x63", 5), cookie)) << "not a sequence";
}

}  // namespace
