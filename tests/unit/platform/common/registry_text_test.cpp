// The text of .reg files as reg export writes it, from the values a preview
// would have set.
#include "platform/registry.h"
#include "unit_support.h"

namespace qm {
namespace {

namespace reg = platform::registry;

TEST(RegFileText, AsImportingTheWritesInOrder) {
  const auto value = [](std::uint32_t root, const char* path, const char* name, std::uint32_t type,
                        std::string data) {
    return reg::ExportedValue{root, path, name, type, std::vector<std::uint8_t>(data.begin(), data.end())};
  };
  // A value written twice keeps its place and takes the last data; "B\" and "b"
  // are one key, whose block comes where its first value came.
  const std::vector<reg::ExportedValue> writes = {
      value(reg::kCurrentUser, "Software\\B\\", "Name", reg::kTypeString, std::string("M\xFCller\0", 7)),
      value(reg::kLocalMachine, "Software\\A", "", reg::kTypeDword, std::string("\x01\0\0\0", 4)),
      value(reg::kCurrentUser, "software\\b", "Zahl", reg::kTypeDword, std::string("\x0A\0\0\0", 4)),
      value(reg::kCurrentUser, "Software\\B", "NAME", reg::kTypeExpandString, std::string("%TEMP%\\x\0", 9)),
  };
  EXPECT_EQ(reg::RegFileText(writes),
            "Windows Registry Editor Version 5.00\r\n\r\n"
            "[HKEY_CURRENT_USER\\Software\\B]\r\n"
            "\"NAME\"=hex(2):25,00,54,00,45,00,4d,00,50,00,25,00,5c,00,78,00,00,00\r\n"
            "\"Zahl\"=dword:0000000a\r\n\r\n"
            "[HKEY_LOCAL_MACHINE\\Software\\A]\r\n@=dword:00000001\r\n\r\n");
  EXPECT_EQ(reg::RegFileText({}), "Windows Registry Editor Version 5.00\r\n\r\n");
  EXPECT_EQ(reg::RegFileBytes("[x]\r\n"), std::string("\xFF\xFE[\0x\0]\0\r\0\n\0", 12));

  // What no .reg file can hold.
  for (const reg::ExportedValue& bad :
       {value(reg::kCurrentUser, "Software\\Zeilen\numbruch", "n", reg::kTypeDword, std::string(4, '\0')),
        value(reg::kCurrentUser, "Software", "a\rb", reg::kTypeDword, std::string(4, '\0')),
        value(0x80000009u, "Software", "n", reg::kTypeDword, std::string(4, '\0'))}) {
    SCOPED_TRACE(bad.path + "|" + bad.name);
    unit::ExpectError(1014, [&] { reg::RegFileText(std::vector<reg::ExportedValue>{bad}); });
  }
}

}  // namespace
}  // namespace qm
