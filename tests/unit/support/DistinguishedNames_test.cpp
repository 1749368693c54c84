// Distinguished names as the signature rules and the group search compare them.
#include "support/DistinguishedNames.h"
#include "unit_support.h"

namespace qm {
namespace {

TEST(DistinguishedNames, SameEntryAndBelow) {
  struct Row {
    const char* dn;
    const char* other;
    bool same, below;
  };
  const Row rows[] = {
      {"CN=Max,OU=Vertrieb,DC=firma,DC=local", "cn=max, ou=VERTRIEB,  dc=Firma,dc=local", true,
       true},
      // Blanks around "=" and before commas are no part of the name.
      {"CN=Max,OU=Vertrieb,DC=firma,DC=local", "cn = Max ,ou= Vertrieb , DC =firma,dc=local", true,
       true},
      {"CN=Max,OU=Vertrieb,DC=firma,DC=local", "OU=vertrieb, DC=firma,DC=local", false, true},
      {"CN=Max,OU=Vertrieb,DC=firma,DC=local", "DC=local", false, true},
      // Whole RDNs only, and an escaped comma is no boundary.
      {"CN=Max,OU=Vertrieb,DC=firma,DC=local", "trieb,DC=firma,DC=local", false, false},
      {"CN=Max,OU=Nord\\, Vertrieb,DC=firma", "OU=Vertrieb,DC=firma", false, false},
      {"CN=Max,OU=Nord\\, Vertrieb,DC=firma", "ou=nord\\, vertrieb,dc=firma", false, true},
      // A server may write an escaped character in hex: the same name.
      {"CN=Muster\\2C Max,DC=firma", "cn=muster\\, max,dc=firma", true, true},
      {"CN=a\\3Bb,DC=firma", "CN=a\\;b,DC=firma", true, true},
      {"CN=M\\C3\\BCller,DC=firma", "cn=MÜLLER,dc=FIRMA", true, true},
      {"CN=Müller,DC=firma", "cn=MÜLLER,dc=FIRMA", true, true},
      {"CN=a\\5c,DC=firma", "cn=a\\\\,dc=firma", true, true},
      {"CN=a\\2C,DC=firma", "cn=a,,dc=firma", false, false},
      // An escaped blank at the end stays, an unescaped one goes.
      {"CN=a\\ ,DC=firma", "CN=a,DC=firma", false, false},
      {"CN=a ,DC=firma", "CN=a,DC=firma", true, true},
      // Multi-valued RDNs are one RDN.
      {"CN=a+UID=b,DC=firma", "cn=A + uid=B,dc=firma", true, true},
      {"CN=a+UID=b,DC=firma", "UID=b,DC=firma", false, false},
      {"DC=firma", "CN=Max,DC=firma", false, false},
      {"CN=Max,DC=firma", "", false, false},  // an empty base is below nothing
      {"", "", true, false},                  // a user without an entry is below nothing
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(std::string(r.dn) + " / " + r.other);
    EXPECT_EQ(SameDn(r.dn, r.other), r.same);
    EXPECT_EQ(IsBelow(r.dn, r.other), r.below);
  }
}

TEST(DistinguishedNames, WhatDoesNotParse) {
  for (const char* bad : {"CN=a,", ",CN=a", "CN=a,,DC=b", "CN=a, ,DC=b", "Vertrieb,DC=b", "=a,DC=b",
                          "CN=a\\", "CN=a+,DC=b"}) {
    EXPECT_FALSE(ParseDn(bad)) << bad;
  }
  for (const char* good : {"CN=,DC=b", "CN=a\\,,DC=b", "cn = a", "CN=a=b", "  "}) {
    EXPECT_TRUE(ParseDn(good)) << good;
  }
}

TEST(DistinguishedNames, DomainPartAndNameLists) {
  EXPECT_EQ(DomainPart("CN=Max,OU=Vertrieb,DC=firma, dc=local"), "DC=firma,dc=local");
  EXPECT_EQ(DomainPart("CN=Muster\\, Max,DC=x"), "DC=x");
  EXPECT_EQ(DomainPart("cn=a,dc=x,ou=y"), "");
  EXPECT_EQ(DomainPart("dc=only"), "dc=only");
  EXPECT_EQ(SplitNameList(" CN=a\\;b,DC=x ; Technik;;  "),
            (std::vector<std::string>{"CN=a\\;b,DC=x", "Technik"}));
  EXPECT_EQ(SplitNameList("a\\\\;b"), (std::vector<std::string>{"a\\\\", "b"}));
}

}  // namespace
}  // namespace qm
