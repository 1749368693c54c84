// The search bases users write, the client configuration's URLs under
// encryption, the paged-results control value, and the error numbers of the
// directory service.
#include <ldap.h>

#include <vector>

#include "platform/common/ldap_search.h"
#include "platform/directory.h"
#include "unit_support.h"

namespace dir = qm::platform::directory;

namespace {

TEST(LdapSearchBase, Parse) {
  const struct {
    const char* name;
    const char* base;
    const char* parts;  // "server|port|base|key", or "error"
  } rows[] = {
      {"no server", "ou=A,dc=x", "|0|ou=A,dc=x|"},
      {"empty", "", "|0||"},
      {"server and port, the server's case kept", "DC1.corp.local:3268/DC=corp,DC=local",
       "DC1.corp.local|3268|DC=corp,DC=local|dc1.corp.local:3268"},
      {"server alone names its default naming context", "dc1", "dc1|0||dc1:0"},
      {"IPv6 server", "[::1]:1389/dc=x", "::1|1389|dc=x|::1:1389"},
      {"escaped slash, other escapes kept", "CN=a\\/b\\, E,DC=x", "|0|CN=a/b\\, E,DC=x|"},
      {"port zero", "dc1:0/dc=x", "error"},
      {"port too large", "dc1:65536/dc=x", "error"},
      {"port not a number", "dc1:ldap/dc=x", "error"},
      {"empty port", "dc1:/dc=x", "error"},
      {"port without host", ":389/dc=x", "error"},
      {"unclosed IPv6 bracket", "[::1/dc=x", "error"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    if (std::string(row.parts) == "error") {
      // The provider's error for a malformed command text (0x80040E14).
      qm::unit::ExpectError(-2147217900, [&] { dir::ParseBase(row.base); },
                            "Ein oder mehrere Fehler sind während der Verarbeitung des Befehls aufgetreten.");
      continue;
    }
    const dir::Search s = dir::ParseBase(row.base);
    EXPECT_EQ(s.server + "|" + std::to_string(s.port) + "|" + s.base + "|" + dir::ServerKey(s), row.parts);
  }
}

TEST(LdapConfiguredUrls, UnderEncryption) {
  const auto none = dir::Encryption::None, startTls = dir::Encryption::StartTls, ldaps = dir::Encryption::Ldaps;
  const struct {
    const char* name;
    dir::Encryption encryption;
    const char* urls;
    const char* expected;  // "" for error 999
  } rows[] = {
      {"LDAPS: the LDAP port moves to 636, the Global Catalog's to 3269, others stay", ldaps,
       "ldap://dc1:389 ldap://gc.firma.local:3268 ldap://dc2:1389",
       "ldaps://dc1:636 ldaps://gc.firma.local:3269 ldaps://dc2:1389"},
      {"LDAPS: ldaps:// stays, a path stays, IPv6, the scheme in any case", ldaps,
       "ldaps://dc1:3268 LDAP://[::1]:389/dc=x ldap://dc3", "ldaps://dc1:3268 ldaps://[::1]:636/dc=x ldaps://dc3"},
      {"StartTLS keeps the plain ports", startTls, "ldap://gc:3268 ldaps://dc1:636", "ldap://gc:3268 ldaps://dc1:636"},
      {"without encryption anything goes", none, "ldapi://%2Fvar%2Frun%2Fslapd", "ldapi://%2Fvar%2Frun%2Fslapd"},
      {"LDAPS and a local socket", ldaps, "ldap://dc1:389 ldapi://%2Fvar%2Frun%2Fslapd", ""},
      {"StartTLS and a local socket", startTls, "ldapi://", ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    if (*row.expected != '\0') {
      EXPECT_EQ(dir::ProtectedUrls(row.urls, row.encryption), row.expected);
      continue;
    }
    const qm::Error e = qm::unit::ExpectError(999, [&] { dir::ProtectedUrls(row.urls, row.encryption); });
    EXPECT_NE(e.Description().find("' der LDAP-Client-Konfiguration für 'LDAPEncryption' (erlaubt: ldap://, ldaps://)"),
              std::string::npos)
        << e.Description();
    EXPECT_EQ(e.Description().rfind("Ungültige URL 'ldapi://", 0), 0u) << e.Description();
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
