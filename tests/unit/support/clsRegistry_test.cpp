// clsRegistry on the registry file of the Linux build: values read and written
// by type.
#include "platform/registry.h"
#include "support/clsRegistry.h"
#include "unit_support.h"

namespace qm {
namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::uint32_t HKCU = platform::registry::kCurrentUser;

class Registry : public unit::FolderTest {
 protected:
  static clsRegistry At(const std::string& key, const std::string& value) {
    clsRegistry r;
    r.ClassKey = HKCU;
    r.SectionKey = key;
    r.ValueKey = value;
    return r;
  }
};

TEST_F(Registry, ReadsByType) {
  SeedRegistry("[HKEY_CURRENT_USER\\T]\r\n"
               "\"sz\"=\"abc\"\r\n"
               "\"noterm\"=hex(1):61,00,62,00,63,00\r\n"
               "\"bin\"=hex:01,02,03,04\r\n"
               "\"dw\"=dword:0000000a\r\n"
               "\"be\"=hex(5):00,00,01,00\r\n"
               "\"multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n"
               "\"empty\"=hex(1):\r\n"
               "@=\"default\"\r\n");
  struct Row { const char* name; RegistryValue expected; std::int32_t type; };
  const Row rows[] = {
      {"sz", std::string("abc"), 1},
      {"noterm", std::string("ab"), 1},  // stored without terminator: the last character is lost
      {"bin", Bytes{1, 2, 3, 4, 0}, 3},
      {"dw", std::int32_t{10}, 4},
      {"be", std::int32_t{256}, 5},
      {"multi", std::string("a\0b\0", 4), 7},
      {"", std::string("default"), 1},
      {"SZ", std::string("abc"), 1},  // names without regard to case
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    clsRegistry r = At("t", row.name);
    EXPECT_EQ(r.Value(), row.expected);
    EXPECT_EQ(r.ValueType, row.type);
  }
  clsRegistry missing = At("T", "nothing");
  missing.ValueType = 42;
  EXPECT_TRUE(std::holds_alternative<std::monostate>(missing.Value()));
  EXPECT_EQ(missing.ValueType, 42);
  unit::ExpectError(5, [] { At("T", "empty").Value(); });
}

TEST_F(Registry, WritesByTypeAndKeepsOtherKeys) {
  SeedRegistry("[HKEY_LOCAL_MACHINE\\Keep]\r\n\"x\"=hex:ff\r\n\r\n[HKEY_CURRENT_USER\\Keep]\r\n\"y\"=\"Grüße\"\r\n",
               false);
  struct Row { const char* name; std::int32_t type; RegistryValue value; std::uint32_t storedType; Bytes ansi; };
  const Row rows[] = {
      {"plain", 1, std::string("100%"), 1, {'1', '0', '0', '%', 0}},
      {"promoted", 1, std::string("%TEMP%\\x"), 2, {'%', 'T', 'E', 'M', 'P', '%', '\\', 'x', 0}},
      {"two percent signs", 1, std::string("%%"), 1, {'%', '%', 0}},
      {"umlaut", 2, std::string("M\xC3\xBCller"), 2, {'M', 0xFC, 'l', 'l', 'e', 'r', 0}},
      {"binary", 3, Bytes{1, 2, 3, 4, 0, 0}, 3, {1, 2, 3, 4}},
      {"number", 5, std::int32_t{256}, 4, {0, 1, 0, 0}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    clsRegistry r = At("Software\\Neu\\", row.name);
    r.ValueType = row.type;
    r.SetValue(row.value);
    auto raw = platform::registry::QueryValue(HKCU, "software\\neu", row.name);
    ASSERT_TRUE(raw.has_value());
    EXPECT_EQ(raw->type, row.storedType);
    EXPECT_EQ(raw->data, row.ansi);
  }
  clsRegistry wrong = At("Software\\Neu", "x");
  wrong.ValueType = 3;
  unit::ExpectError(26001, [&] { wrong.SetValue(std::string("text")); });
  EXPECT_EQ(At("Keep", "y").Value(), RegistryValue(std::string("Grüße")));
  auto kept = platform::registry::QueryValue(platform::registry::kLocalMachine, "Keep", "x");
  ASSERT_TRUE(kept.has_value());
  EXPECT_EQ(kept->data, Bytes{0xFF});
  EXPECT_EQ(Read("registry.reg").substr(0, 2), "\xFF\xFE");  // written as reg export writes
}

}  // namespace
}  // namespace qm
