// The registry file of the Linux build: the files it reads, the ones it
// refuses and never overwrites, and writes that change only their own lines.
#include <chrono>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <thread>

#include "outlook/modOutlook.h"
#include "platform/registry.h"
#include "support/clsRegistry.h"
#include "unit_support.h"

namespace qm {
namespace {

namespace reg = platform::registry;
using Bytes = std::vector<std::uint8_t>;
using unit::Utf16;
constexpr std::uint32_t HKCU = reg::kCurrentUser;

class RegistryFile : public unit::FolderTest {};

TEST_F(RegistryFile, AcceptsUtf8AndRegedit4) {
  SeedRegistry("[HKEY_CURRENT_USER\\U]\r\n\"n\"=\"Büro\"\r\n\"long\"=hex:01,\\\r\n  02\r\n", false);
  EXPECT_EQ(reg::QueryValue(HKCU, "U", "n")->data, Bytes({'B', 0xFC, 'r', 'o', 0}));
  EXPECT_EQ(reg::QueryValue(HKCU, "U", "long")->data, Bytes({1, 2}));
  Write("registry.reg", "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\R]\r\n\"n\"=\"B\xFCro\"\r\n");
  EXPECT_EQ(reg::QueryValue(HKCU, "R", "n")->data, Bytes({'B', 0xFC, 'r', 'o', 0}));
}

// The A functions' view: what the code page lacks comes as Windows' look-alike.
TEST_F(RegistryFile, TextsAndNamesInTheAnsiCodePage) {
  SeedRegistry("[HKEY_CURRENT_USER\\U\\Łódź]\r\n\"n\"=\"Żółć\"\r\n[HKEY_CURRENT_USER\\U\\B]\r\n", false);
  EXPECT_EQ(reg::QueryValue(HKCU, "U\\Łódź", "n")->data, Bytes({'Z', 0xF3, 'l', 'c', 0}));
  EXPECT_EQ(reg::EnumerateSubkeys(HKCU, "U"), (std::vector<std::string>{"B", "Lódz"}));
}

TEST_F(RegistryFile, BadFilesAreReportedAndNeverOverwritten) {
  struct Row { const char* name; std::string bytes; };
  const std::string head = "Windows Registry Editor Version 5.00\r\n\r\n", key = head + "[HKEY_CURRENT_USER\\T]\r\n";
  const Row rows[] = {
      {"not a registry file", "[Main]\r\nLogFile=x\r\n"},
      {"truncated string", Utf16(key + "\"a\"=\"ab")},
      {"truncated hex list", Utf16(key + "\"a\"=hex:01,\\")},
      {"cut after a comma", Utf16(key + "\"a\"=hex:01,")},
      {"continued into the end", Utf16(key + "\"a\"=hex:01,\\\r\n")},
      {"odd number of UTF-16 bytes", Utf16(key + "\"a\"=\"b\"\r\n") + "\r"},
      {"key without bracket", Utf16(head + "[HKEY_CURRENT_USER\\T\r\n")},
      {"value before any key", Utf16("Windows Registry Editor Version 5.00\r\n\"a\"=\"b\"\r\n")},
      {"empty file", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Write("registry.reg", row.bytes);
    const std::string error = unit::ExpectError(1014, [] { reg::QueryValue(HKCU, "T", "a"); }).Description();
    EXPECT_NE(error.find(Path("registry.reg").string()), std::string::npos) << error;
    EXPECT_NE(error.find("Zeile"), std::string::npos) << error;
    unit::ExpectError(1014, [] { reg::SetValue(HKCU, "T", "a", reg::kTypeString, Bytes{'x', 0}); });
    EXPECT_EQ(Read("registry.reg"), row.bytes);
    // The version lookup does not hide a broken registry behind "no Outlook".
    unit::ExpectError(1014, [] { GetOutlookVersion(false); });
  }
}

TEST_F(RegistryFile, WritesOnlyWhatItChangesAndReadsItBack) {
  // A file as someone left it: a comment ending in "\", a hex list wrapped
  // otherwise than reg export wraps, no blank line at the end.
  SeedRegistry(
      "; von Hand ergänzt \\\r\n"
      "[HKEY_CURRENT_USER\\Software\\Alt]\r\n"
      "\"Lang\"=hex:00,01,02,03,04,05,06,07,\\\r\n    08,09,0a,0b\r\n"
      "\"a\"=\"x\"\r\n\r\n"
      "[HKEY_CURRENT_USER\\Software\\Ziel]\r\n"
      "\"b\"=dword:00000001\r\n"
      "; Ende Ziel\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\Software\\Anders]\r\n"
      "@=\"y\"\r\n");
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
      Read("registry.reg"),
      Utf16(
          "Windows Registry Editor Version 5.00\r\n\r\n"
          "; von Hand ergänzt \\\r\n"
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
          "\"s\"=\"Grüße\"\r\n\r\n"
          "[HKEY_LOCAL_MACHINE\\Software\\Anders]\r\n"
          "@=\"y\"\r\n"));
  // Read back by a reader that did not write it.
  std::filesystem::copy_file(Path("registry.reg"), Path("copy.reg"));
  ::setenv("QUILLMARK_REGISTRY", Path("copy.reg").c_str(), 1);
  for (const Row& row : rows) {
    auto raw = reg::QueryValue(HKCU, row.path, row.name);
    ASSERT_TRUE(raw.has_value()) << row.name;
    EXPECT_EQ(raw->data, row.data) << row.name;
  }
  ASSERT_TRUE(reg::QueryValue(HKCU, "Software\\Alt", "Lang").has_value());
  EXPECT_EQ(reg::QueryValue(HKCU, "Software\\Alt", "Lang")->data, (Bytes{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));

  // A name across two lines cannot be written as one line: refused, the file untouched.
  const std::string before = Read("copy.reg");
  for (const auto& [path, name] : {std::pair{"Software\\B\nC", "x"}, std::pair{"Software\\Ziel", "a\r\nb"}}) {
    const std::string error =
        unit::ExpectError(1014, [&] { reg::SetValue(HKCU, path, name, reg::kTypeString, Bytes{'x', 0}); })
            .Description();
    EXPECT_NE(error.find("Zeilenumbruch"), std::string::npos) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << "the log line stays one line";
  }
  EXPECT_EQ(Read("copy.reg"), before);
}

TEST_F(RegistryFile, ABatchIsWrittenOnceAndKeepsWhatOthersWroteMeanwhile) {
  const std::string head = "[HKEY_CURRENT_USER\\Konten\\A]\r\n\"n\"=\"alt\"\r\n";
  const auto text = [](const char* value) { return Bytes(value, value + std::strlen(value) + 1); };
  struct Row {
    const char* what;
    bool commit;        // Commit(), or the batch left by an exception
    bool otherWrites;   // another run changes the file while the batch is open
  } rows[] = {
      {"committed", true, false},
      {"committed after another run's write", true, true},
      {"left by an exception", false, false},
      {"left by an exception after another run's write", false, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    SeedRegistry(head);
    const std::string seeded = Read("registry.reg");
    try {
      reg::WriteBatch batch;
      EXPECT_TRUE(reg::SetValue(HKCU, "Konten\\A", "n", reg::kTypeString, text("neu")));
      EXPECT_TRUE(reg::SetValue(HKCU, "Konten\\B", "r", reg::kTypeString, text("zwei")));
      // The run reads what it wrote; the file is not written yet.
      EXPECT_EQ(reg::QueryValue(HKCU, "Konten\\A", "n")->data, text("neu"));
      EXPECT_EQ(reg::EnumerateSubkeys(HKCU, "Konten"), (std::vector<std::string>{"A", "B"}));
      EXPECT_EQ(Read("registry.reg"), seeded);
      if (row.otherWrites) {
        // Another run's key, written a tick later than the file was read.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        SeedRegistry(head + "\r\n[HKEY_CURRENT_USER\\Fremd]\r\n\"f\"=\"x\"\r\n");
        EXPECT_EQ(reg::QueryValue(HKCU, "Konten\\B", "r")->data, text("zwei"));
      }
      if (row.commit) {
        EXPECT_TRUE(batch.Commit());
      } else {
        throw std::runtime_error("Abbruch");
      }
    } catch (const std::runtime_error&) {
    }
    // Read back by a reader that did not write it.
    std::filesystem::copy_file(Path("registry.reg"), Path("copy.reg"), std::filesystem::copy_options::overwrite_existing);
    ::setenv("QUILLMARK_REGISTRY", Path("copy.reg").c_str(), 1);
    EXPECT_EQ(reg::QueryValue(HKCU, "Konten\\A", "n")->data, text("neu"));
    EXPECT_EQ(reg::QueryValue(HKCU, "Konten\\B", "r")->data, text("zwei"));
    EXPECT_EQ(reg::QueryValue(HKCU, "Fremd", "f").has_value(), row.otherWrites);
    ::setenv("QUILLMARK_REGISTRY", Path("registry.reg").c_str(), 1);
    // After the batch, a write goes to the file at once again.
    EXPECT_TRUE(reg::SetValue(HKCU, "Konten\\C", "n", reg::kTypeString, text("drei")));
    EXPECT_NE(Read("registry.reg").find(Utf16("[HKEY_CURRENT_USER\\Konten\\C]").substr(2)), std::string::npos);
  }
}

}  // namespace
}  // namespace qm
