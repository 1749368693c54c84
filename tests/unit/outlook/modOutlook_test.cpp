// Outlook's version from the registry, and the profile names as the key names
// of Outlook up to 2010 carry them.
#include <gtest/gtest.h>

#include "outlook/modOutlook.h"
#include "unit_support.h"

namespace qm {
namespace {

class OutlookVersion : public unit::FolderTest {};

TEST_F(OutlookVersion, FromCurVer) {
  // Only the third piece counts, read as far as it is a number (a plain
  // number as every whole-program run with Outlook has it).
  struct Row { const char* curVer; std::int32_t version; };
  const Row rows[] = {{"Outlook.Application.11.5", 11}, {"Outlook.Application.11a", 11},
                      {"Outlook.Application", 0}, {"Outlook.Application.x", 0}, {"", 0}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.curVer);
    SeedRegistry(std::string("[HKEY_CLASSES_ROOT\\Outlook.Application\\CurVer]\r\n@=\"") + row.curVer + "\"\r\n");
    EXPECT_EQ(GetOutlookVersion(false), row.version);
    EXPECT_EQ(GetOutlookVersion(true), 0);  // the machine's class registration is another key
  }
}

TEST(EncodeProfileName, SevenCharacters) {
  struct Row { std::string in, out; };
  const Row rows[] = {
      {"Büro", "B[|\x7Fro"},
      {"ÄÄ", "[t|[t|"},
      {"ÖÜäöß", "[v}[|}[t~[v\x7F[\x7F}"},
      {"Outlook", "Outlook"},
  };
  for (const Row& r : rows) {
    std::string p = r.in;
    EncodeProfileName(p);
    EXPECT_EQ(p, r.out) << r.in;
  }
}

}  // namespace
}  // namespace qm
