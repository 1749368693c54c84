// clsRegistry on the registry file of the Linux build, the Outlook account
// routines on top of it, and what the Linux build's writes of the registry file
// and the configuration file keep of the files they replace.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "outlook/modOutlook.h"
#include "platform/error.h"
#include "platform/profile.h"
#include "platform/registry.h"
#include "support/clsRegistry.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
constexpr std::uint32_t HKCU = platform::registry::kCurrentUser;

/// Latin-1 text as UTF-16LE with byte-order mark.
std::string Utf16(const std::string& latin1) {
  std::string out("\xFF\xFE", 2);
  for (char c : latin1) {
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
  static std::string ReadFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  std::string FileBytes() const { return ReadFile(file_); }
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
  const std::string key = "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\T]\r\n";
  const Row rows[] = {
      {"not a registry file", "[Main]\r\nLogFile=x\r\n"},
      {"truncated string", Utf16("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\T]\r\n\"a\"=\"ab")},
      {"truncated hex list", Utf16("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\T]\r\n\"a\"=hex:01,\\")},
      {"cut after a comma", Utf16(key + "\"a\"=hex:01,")},
      {"continued into the end", Utf16(key + "\"a\"=hex:01,\\\r\n")},
      {"odd number of UTF-16 bytes", Utf16(key + "\"a\"=\"b\"\r\n") + "\r"},
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
      ADD_FAILURE() << "no error";
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

TEST_F(Registry, WritesOnlyWhatItChangesAndReadsItBack) {
  // A file as someone left it: a comment ending in "\", a hex list wrapped
  // otherwise than reg export wraps, no blank line at the end.
  Seed(
      "; von Hand erg\xE4nzt \\\r\n"
      "[HKEY_CURRENT_USER\\Software\\Alt]\r\n"
      "\"Lang\"=hex:00,01,02,03,04,05,06,07,\\\r\n    08,09,0a,0b\r\n"
      "\"a\"=\"x\"\r\n\r\n"
      "[HKEY_CURRENT_USER\\Software\\Ziel]\r\n"
      "\"b\"=dword:00000001\r\n"
      "; Ende Ziel\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\Software\\Anders]\r\n"
      "@=\"y\"\r\n");
  namespace reg = platform::registry;
  Bytes forty;
  for (std::uint8_t i = 0; i < 40; ++i) forty.push_back(i);
  struct Row {
    const char* path;
    const char* name;
    std::uint32_t type;
    Bytes data;
  };
  // B: the line where b stands, named as it was.
  const Row rows[] = {
      {"software\\ziel", "B", reg::kTypeDword, {2, 0, 0, 0}},
      {"Software\\Ziel", "Neu", reg::kTypeBinary, forty},
      {"Software\\Ziel", "t", reg::kTypeString, {'a', '\r', '\n', 'b', 0}},
      {"Software\\Neu\\Tief", "s", reg::kTypeString, {'G', 'r', 0xFC, 0xDF, 'e', 0}},
  };
  for (const Row& row : rows)
    EXPECT_TRUE(reg::SetValue(HKCU, row.path, row.name, row.type, row.data)) << row.name;
  EXPECT_EQ(
      FileBytes(),
      Utf16(
          "Windows Registry Editor Version 5.00\r\n\r\n"
          "; von Hand erg\xE4nzt \\\r\n"
          "[HKEY_CURRENT_USER\\Software\\Alt]\r\n"
          "\"Lang\"=hex:00,01,02,03,04,05,06,07,\\\r\n    08,09,0a,0b\r\n"
          "\"a\"=\"x\"\r\n\r\n"
          "[HKEY_CURRENT_USER\\Software\\Ziel]\r\n"
          "\"b\"=dword:00000002\r\n"
          "\"Neu\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,\\\r\n"
          "  17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27\r\n"
          "\"t\"=hex(1):61,00,0d,00,0a,00,62,00,00,00\r\n"
          "; Ende Ziel\r\n\r\n"
          "[HKEY_CURRENT_USER\\Software\\Neu\\Tief]\r\n"
          "\"s\"=\"Gr\xFC\xDF"
          "e\"\r\n\r\n"
          "[HKEY_LOCAL_MACHINE\\Software\\Anders]\r\n"
          "@=\"y\"\r\n"));
  // Read back by a reader that did not write it.
  const fs::path copy = file_.string() + ".copy";
  fs::copy_file(file_, copy, fs::copy_options::overwrite_existing);
  setenv("QUILLMARK_REGISTRY", copy.c_str(), 1);
  for (const Row& row : rows) {
    auto raw = reg::QueryValue(HKCU, row.path, row.name);
    ASSERT_TRUE(raw.has_value()) << row.name;
    EXPECT_EQ(raw->data, row.data) << row.name;
  }
  ASSERT_TRUE(reg::QueryValue(HKCU, "Software\\Alt", "Lang").has_value());
  EXPECT_EQ(reg::QueryValue(HKCU, "Software\\Alt", "Lang")->data,
            (Bytes{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
  setenv("QUILLMARK_REGISTRY", file_.c_str(), 1);

  // A name across two lines cannot be written as one line: refused, the file untouched.
  const std::string before = FileBytes();
  for (const auto& [path, name] :
       {std::pair{"Software\\B\nC", "x"}, std::pair{"Software\\Ziel", "a\r\nb"}}) {
    try {
      reg::SetValue(HKCU, path, name, reg::kTypeString, Bytes{'x', 0});
      ADD_FAILURE() << "no error for " << path << " " << name;
    } catch (const Error& e) {
      EXPECT_EQ(e.Number(), 1014);
      EXPECT_NE(e.Description().find("Zeilenumbruch"), std::string::npos) << e.Description();
      EXPECT_EQ(e.Description().find('\n'), std::string::npos) << "the log line stays one line";
    }
  }
  EXPECT_EQ(FileBytes(), before);
}

TEST_F(Registry, WritesKeepOwnerModeAndLinks) {
  // The registry file and the configuration file (which may hold
  // LDAPReaderAccountPassword) keep owner, group and mode, and a link stays a
  // link to the file written. A read-only file is not written, as on Windows.
  const bool root = ::geteuid() == 0;  // only root can hand a file to another owner
  constexpr uid_t kOwner = 4321;
  constexpr gid_t kGroup = 8765;
  struct Row {
    const char* name;
    bool registry;
    mode_t mode;
    bool link;
    bool written;
  };
  const Row rows[] = {
      {"registry file of another owner, 0600", true, 0600, false, true},
      {"registry file behind a link", true, 0640, true, true},
      {"read-only registry file", true, 0444, false, false},
      {"configuration file of another owner, 0600", false, 0600, false, true},
      {"configuration file behind a link", false, 0640, true, true},
      {"read-only configuration file", false, 0444, false, false},
  };
  const fs::path dir = file_.parent_path() / "owner";
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path target = dir / (row.registry ? "target.reg" : "target.ini");
    std::ofstream(target, std::ios::binary)
        << (row.registry
                ? Utf16("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Q]\r\n")
                : "[Main]\r\nA=1\r\n");
    std::ofstream(dir / (target.filename().string() + ".quillmark-tmp-1-1"))
        << "left by a killed run";
    ASSERT_EQ(::chmod(target.c_str(), row.mode), 0);
    if (root) {
      ASSERT_EQ(::chown(target.c_str(), kOwner, kGroup), 0);
    }
    const fs::path path = row.link ? dir / "link" : target;
    if (row.link) fs::create_symlink(target.filename(), path);
    const std::string before = ReadFile(target);
    setenv("QUILLMARK_REGISTRY", path.c_str(), 1);
    const bool written = row.registry
                             ? platform::registry::SetValue(HKCU, "Q", "x", 4, Bytes{1, 0, 0, 0})
                             : platform::WriteProfileValue(path.string(), "Main", "B", "2");
    EXPECT_EQ(written, row.written);
    EXPECT_EQ(ReadFile(target) != before, row.written);
    struct stat st {};
    ASSERT_EQ(::lstat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, row.mode);
    if (root) {
      EXPECT_EQ(std::pair(st.st_uid, st.st_gid), std::pair(kOwner, kGroup));
    }
    EXPECT_EQ(fs::is_symlink(path), row.link);
    // Neither our temporary nor the one the killed run left stays beside it.
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    std::vector<std::string> expected{target.filename().string()};
    if (row.link) expected.insert(expected.begin(), "link");
    EXPECT_EQ(names, expected);
  }
}

TEST_F(Registry, NulEndsAConfigurationValue) {
  // Windows hands the value over as a C string.
  struct Row {
    const char* name;
    std::string file;
  };
  const Row rows[] = {
      {"ANSI", std::string("[Main]\r\nN=ab\0cd\r\n", 16)},
      {"quoted", std::string("[Main]\r\nN=\"ab\0cd\"\r\n", 18)},
      {"UTF-16", Utf16(std::string("[Main]\r\nN=ab\0cd\r\n", 16))},
  };
  const fs::path ini = file_.parent_path() / "nul.ini";
  for (const Row& row : rows) {
    std::ofstream(ini, std::ios::binary | std::ios::trunc) << row.file;
    EXPECT_EQ(platform::ReadProfileValue(ini.string(), "Main", "N", 5120), "ab") << row.name;
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

namespace qm {
namespace {

TEST(RegFileText, AsImportingTheWritesInOrder) {
  namespace reg = platform::registry;
  const auto value = [](std::uint32_t root, const char* path, const char* name, std::uint32_t type,
                        std::string data) {
    return reg::ExportedValue{root, path, name, type, Bytes(data.begin(), data.end())};
  };
  // A value written twice keeps its place and takes the last data; "B\" and "b"
  // are one key, whose block comes where its first value came.
  const std::vector<reg::ExportedValue> writes = {
      value(HKCU, "Software\\B\\", "Name", reg::kTypeString, std::string("M\xFCller\0", 7)),
      value(reg::kLocalMachine, "Software\\A", "", reg::kTypeDword, std::string("\x01\0\0\0", 4)),
      value(HKCU, "software\\b", "Zahl", reg::kTypeDword, std::string("\x0A\0\0\0", 4)),
      value(HKCU, "Software\\B", "NAME", reg::kTypeExpandString, std::string("%TEMP%\\x\0", 9)),
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
       {value(HKCU, "Software\\Zeilen\numbruch", "n", reg::kTypeDword, std::string(4, '\0')),
        value(HKCU, "Software", "a\rb", reg::kTypeDword, std::string(4, '\0')),
        value(0x80000009u, "Software", "n", reg::kTypeDword, std::string(4, '\0'))}) {
    try {
      reg::RegFileText(std::vector<reg::ExportedValue>{bad});
      ADD_FAILURE() << bad.path << "|" << bad.name;
    } catch (const Error& e) {
      EXPECT_EQ(e.Number(), reg::kStoreError) << e.Description();
    }
  }
}

}  // namespace
}  // namespace qm
