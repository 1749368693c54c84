// The user's record: what a source value does to it, and the field mapping
// that decides which sources run.
#include <gtest/gtest.h>

#include "unit_support.h"
#include "userdata/UserData.h"

namespace qm {
namespace {

class UserDataTest : public unit::FolderTest {};

TEST_F(UserDataTest, SourceValuesForOrdinaryFields) {
  Config("");
  UserData[UserField::City] = "alt";
  WriteSourceValue(UserField::City, std::nullopt);
  EXPECT_EQ(UserData[UserField::City], "");
  WriteSourceValue(UserField::FirstName, "Anna Maria");
  EXPECT_EQ(UserData[UserField::FirstName], "Anna Maria");
  WriteSourceValue(UserField::SignType, "MiXed");
  EXPECT_EQ(UserData[UserField::SignType], "mixed");
  EXPECT_TRUE(UserData.SignTypeFromSource);
  EXPECT_FALSE(UserData.SignTypeReplyFromSource);
}

struct MappingCase {
  const char* name;
  std::string section;
  bool db, ad;
  std::vector<std::pair<UserField, FieldMapping>> expected;
};

TEST_F(UserDataTest, FieldMappings) {
  using F = UserField;
  const MappingCase cases[] = {
      {"no_section", "[Main]\r\nFixedSignType=a\r\n", false, false, {}},
      {"db_and_ad",
       "[FieldMapping]\r\nFirstName=givenName_col\r\nLastName=*sn\r\nUserDef10=ud10\r\n", true,
       true,
       {{F::FirstName, {"DB", "givenName_col"}},
        {F::LastName, {"AD", "sn"}},
        {F::UserDef10, {"DB", "ud10"}}}},
      {"star_alone_is_directory", "[FieldMapping]\r\nMobile=*\r\n", false, true,
       {{F::Mobile, {"AD", ""}}}},
      {"star_later_is_column", "[FieldMapping]\r\nFax=fax*nr\r\nPhone=\r\n", true, false,
       {{F::Fax, {"DB", "fax*nr"}}, {F::Phone, {"", ""}}}},
      {"names_exactly_as_keys", "[FieldMapping]\r\nEMail=mail\r\nSignTypeReply=*str\r\n", true,
       true, {{F::EMail, {"DB", "mail"}}, {F::SignTypeReply, {"AD", "str"}}}},
  };
  for (const MappingCase& c : cases) {
    SCOPED_TRACE(c.name);
    Config(c.section);
    ReadFieldMappings();
    EXPECT_EQ(UseDatabase, c.db);
    EXPECT_EQ(UseDirectory, c.ad);
    int mapped = 0;
    for (const FieldMapping& m : FieldMappings) mapped += m.Source.empty() ? 0 : 1;
    int expectedMapped = 0;
    for (const auto& [field, mapping] : c.expected) {
      SCOPED_TRACE(kUserFieldNames[static_cast<size_t>(field)]);
      const FieldMapping& got = FieldMappings[static_cast<size_t>(field)];
      EXPECT_EQ(got.Source, mapping.Source);
      EXPECT_EQ(got.SourceName, mapping.SourceName);
      expectedMapped += mapping.Source.empty() ? 0 : 1;
    }
    EXPECT_EQ(mapped, expectedMapped);
  }
}

}  // namespace
}  // namespace qm
