// clsRegistry on the registry file of the Linux build, and the Outlook account
// routines on top of it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "outlook/modOutlook.h"
#include "platform/error.h"
#include "platform/registry.h"
#include "support/clsRegistry.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
constexpr std::uint32_t HKCU = platform::registry::kCurrentUser;

std::string Utf16(const std::string& ascii) {
  std::string out("\xFF\xFE", 2);
  for (char c : ascii) {
    out += c;
    out += '\0';
  }
  return out;
}

class Registry : public ::testing::Test {
 protected:
  void SetUp() override {
    file_ = fs::path(QM_BUILD_DIR) / "unit-tmp" /
            (std::string("reg-") + ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".reg");
    fs::create_directories(file_.parent_path());
    fs::remove(file_);
    setenv("QUILLMARK_REGISTRY", file_.c_str(), 1);
  }
  void Seed(const std::string& body, bool wide = true) const {
    std::string text = "Windows Registry Editor Version 5.00\r\n\r\n" + body;
    std::ofstream(file_, std::ios::binary) << (wide ? Utf16(text) : text);
  }
  std::string FileBytes() const {
    std::ifstream in(file_, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  static clsRegistry At(const std::string& key, const std::string& value) {
    clsRegistry r;
    r.ClassKey = HKCU;
    r.SectionKey = key;
    r.ValueKey = value;
    return r;
  }
  fs::path file_;
};

TEST_F(Registry, ReadsByType) {
  Seed("[HKEY_CURRENT_USER\\T]\r\n"
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
  clsRegistry empty = At("T", "empty");
  try {
    empty.Value();
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), 5);
  }
}

TEST_F(Registry, WritesByTypeAndKeepsOtherKeys) {
  Seed("[HKEY_LOCAL_MACHINE\\Keep]\r\n\"x\"=hex:ff\r\n\r\n[HKEY_CURRENT_USER\\Keep]\r\n\"y\"=\"Grüße\"\r\n", false);
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
  try {
    wrong.SetValue(std::string("text"));
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), 26001);
  }
  EXPECT_EQ(At("Keep", "y").Value(), RegistryValue(std::string("Grüße")));
  auto kept = platform::registry::QueryValue(platform::registry::kLocalMachine, "Keep", "x");
  ASSERT_TRUE(kept.has_value());
  EXPECT_EQ(kept->data, Bytes{0xFF});
  EXPECT_EQ(FileBytes().substr(0, 2), "\xFF\xFE");  // written as reg export writes
}

TEST_F(Registry, EnumeratesSortedWithoutRegardToCase) {
  Seed("[HKEY_CURRENT_USER\\E\\b]\r\n[HKEY_CURRENT_USER\\E\\A]\r\n[HKEY_CURRENT_USER\\E\\C]\r\n");
  std::vector<std::string> names;
  std::int32_t count = -1;
  clsRegistry r = At("E", "");
  EXPECT_TRUE(r.EnumerateSections(names, count));
  EXPECT_EQ(count, 3);
  EXPECT_EQ(names, (std::vector<std::string>{"", "A", "b", "C"}));
  r.SectionKey = "Missing";
  EXPECT_TRUE(r.EnumerateSections(names, count));
  EXPECT_EQ(count, 0);
}

TEST_F(Registry, AcceptsUtf8AndRegedit4) {
  Seed("[HKEY_CURRENT_USER\\U]\r\n\"n\"=\"Büro\"\r\n\"long\"=hex:01,\\\r\n  02\r\n", false);
  EXPECT_EQ(At("U", "n").Value(), RegistryValue(std::string("Büro")));
  EXPECT_EQ(At("U", "long").Value(), RegistryValue(Bytes{1, 2, 0}));
  std::ofstream(file_, std::ios::binary) << "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\R]\r\n\"n\"=\"B\xFCro\"\r\n";
  EXPECT_EQ(At("R", "n").Value(), RegistryValue(std::string("Büro")));
}

TEST_F(Registry, BadFilesAreReportedAndNeverOverwritten) {
  struct Row { const char* name; std::string bytes; };
  const Row rows[] = {
      {"not a registry file", "[Main]\r\nLogFile=x\r\n"},
      {"truncated string", Utf16("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\T]\r\n\"a\"=\"ab")},
      {"truncated hex list", Utf16("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\T]\r\n\"a\"=hex:01,\\")},
      {"key without bracket", Utf16("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\T\r\n")},
      {"value before any key", Utf16("Windows Registry Editor Version 5.00\r\n\"a\"=\"b\"\r\n")},
      {"empty file", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::ofstream(file_, std::ios::binary | std::ios::trunc) << row.bytes;
    clsRegistry r = At("T", "a");
    try {
      r.Value();
      FAIL() << "no error";
    } catch (const Error& e) {
      EXPECT_EQ(e.Number(), 1014);
      EXPECT_NE(e.Description().find(file_.string()), std::string::npos) << e.Description();
      EXPECT_NE(e.Description().find("Zeile"), std::string::npos);
    }
    r.ValueType = 1;
    EXPECT_THROW(r.SetValue(std::string("x")), Error);
    EXPECT_EQ(FileBytes(), row.bytes);
    // The version lookup does not hide a broken registry behind "no Outlook".
    EXPECT_THROW(GetOutlookVersion(false), Error);
  }
}

TEST_F(Registry, OutlookVersionFromCurVer) {
  // Only the third piece counts, read as far as it is a number.
  struct Row { const char* curVer; std::int32_t version; };
  const Row rows[] = {{"Outlook.Application.12", 12}, {"Outlook.Application.11.5", 11},
                      {"Outlook.Application.11a", 11}, {"Outlook.Application", 0},
                      {"Outlook.Application.x", 0}, {"", 0}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.curVer);
    Seed(std::string("[HKEY_CLASSES_ROOT\\Outlook.Application\\CurVer]\r\n@=\"") + row.curVer + "\"\r\n");
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
