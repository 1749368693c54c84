// Distinguished names as the signature rules compare them.
#include "support/DistinguishedNames.h"
#include "unit_support.h"

namespace qm {
namespace {

TEST(Membership, NamesComparedWithoutCaseAndBlanksAfterCommas) {
  struct Row {
    const char* dn;
    const char* other;
    bool same, below;
  };
  const Row rows[] = {
      {"CN=Max,OU=Vertrieb,DC=firma,DC=local", "cn=max, ou=VERTRIEB,  dc=Firma,dc=local", true,
       true},
      {"CN=Max,OU=Vertrieb,DC=firma,DC=local", "OU=vertrieb, DC=firma,DC=local", false, true},
      {"CN=Max,OU=Vertrieb,DC=firma,DC=local", "DC=local", false, true},
      // Whole RDNs only, and an escaped comma is no boundary.
      {"CN=Max,OU=Vertrieb,DC=firma,DC=local", "trieb,DC=firma,DC=local", false, false},
      {"CN=Max,OU=Nord\\, Vertrieb,DC=firma", "OU=Vertrieb,DC=firma", false, false},
      {"CN=Max,OU=Nord\\, Vertrieb,DC=firma", "ou=nord\\, vertrieb,dc=firma", false, true},
      {"CN=Müller,DC=firma", "cn=MÜLLER,dc=FIRMA", true, true},
      // Escapes in hex (OpenLDAP's) or with the character (Active Directory's).
      {"CN=M\\c3\\bcller,DC=firma", "cn=MÜLLER,dc=FIRMA", true, true},
      {"CN=a\\5c,DC=firma", "cn=a\\\\,dc=firma", true, true},
      {"CN=a\\2C,DC=firma", "cn=a,,dc=firma", false, false},
      {"DC=firma", "CN=Max,DC=firma", false, false},
      {"CN=Max,DC=firma", "", false, false},  // an empty base is below nothing
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(std::string(r.dn) + " / " + r.other);
    EXPECT_EQ(SameDn(r.dn, r.other), r.same);
    EXPECT_EQ(IsBelow(r.dn, r.other), r.below);
  }
}

TEST(Membership, DomainPartIsTheTrailingDcs) {
  EXPECT_EQ(DomainPart("CN=Max,OU=Vertrieb,DC=firma, dc=local"), "DC=firma,dc=local");
  EXPECT_EQ(DomainPart("cn=a,dc=x,ou=y"), "");
  EXPECT_EQ(DomainPart("dc=only"), "dc=only");
  EXPECT_EQ(DnParts("a=1\\,2, b=3,"), (std::vector<std::string>{"a=1\\,2", "b=3", ""}));
}

}  // namespace
}  // namespace qm
