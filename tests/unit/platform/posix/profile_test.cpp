// The profile-file reader of the Linux build where the windows build's reader
// under Wine cannot be its reference: a NUL byte ends a value, as Windows hands
// the value over as a C string.
#include <gtest/gtest.h>

#include "platform/profile.h"
#include "unit_support.h"

namespace qm {
namespace {

class ProfileFile : public unit::FolderTest {};

TEST_F(ProfileFile, NulEndsAValue) {
  const struct {
    const char* name;
    std::string file;
  } rows[] = {
      {"ANSI", std::string("[Main]\r\nN=ab\0cd\r\n", 16)},
      {"quoted", std::string("[Main]\r\nN=\"ab\0cd\"\r\n", 18)},
      {"UTF-16", unit::Utf16(std::string("[Main]\r\nN=ab\0cd\r\n", 16))},
  };
  for (const auto& row : rows) {
    Write("nul.ini", row.file);
    EXPECT_EQ(platform::ReadProfileValue(Core("nul.ini"), "Main", "N", 5120), "ab") << row.name;
  }
}

}  // namespace
}  // namespace qm
