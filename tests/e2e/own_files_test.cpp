// Whole runs of both builds with the program's own files in the signature
// folder: what an earlier run wrote and this one no longer writes is removed
// (to the recycle bin or for good), the user's own files stay, a tampered or
// fresh record removes nothing it cannot vouch for, a preview only lists, and
// protected files are replaced by the next run.
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <set>
#include <sstream>
#include <vector>

#include "harness.h"

namespace qmtest {
namespace {

namespace fs = std::filesystem;

constexpr const char* kRecordKey = "HKEY_CURRENT_USER\\Software\\Quillmark\\SignatureFiles";

class OwnFiles : public ::testing::TestWithParam<Build> {
 protected:
  void SetUp() override { sb_.SeedOutlookVersion(13); }

  // "standard" for everybody, "sommer" beside it until the end of August;
  // each with an image. The user keeps a signature of their own.
  void Prepare(const std::string& keys) {
    fs::remove_all(sb_.Path("app"));
    sb_.Configure("FixedSignType=standard\r\n" + keys, "");
    sb_.Write("cfg/site.ini", sb_.Read("cfg/site.ini") +
                                  "[Rule1]\r\nUntil=2026-08-31\r\nSignType=standard,sommer\r\n");
    sb_.Templates("standard", "Standard\r\n");
    sb_.Templates("sommer", "Sommer\r\n");
    sb_.Write("cfg/Vorlagen/standard_logo.gif", "GIF89a logo");
    sb_.Write("cfg/Vorlagen/sommer_banner.gif", "GIF89a banner");
    sb_.Write("app/Microsoft/Signatures/privat.htm", "meine eigene");
  }

  RunResult Run(const std::string& day, const std::string& more = "") {
    RunResult r = sb_.RunLogged("/DATE:" + day + (more.empty() ? "" : " " + more));
    log_ = sb_.Log();
    return r;
  }

  fs::path Folder() const { return sb_.Path("app/Microsoft/Signatures"); }
  std::string FolderName() const { return sb_.Win("app/Microsoft/Signatures") + "\\"; }

  // Every file of the folder an hour older: written by an earlier logon, not
  // by a second run of this moment.
  void Age() const {
    for (const auto& entry : fs::directory_iterator(Folder()))
      fs::last_write_time(entry.path(), fs::last_write_time(entry.path()) - std::chrono::hours(1));
  }

  std::set<std::string> Files() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(Folder())) names.insert(entry.path().filename().string());
    return names;
  }

  // The record as the registry holds it: names in the order written.
  std::vector<std::string> Record() const {
    const auto values = sb_.RegistryValues(kRecordKey);
    std::string key = FolderName();
    // A .reg file doubles each backslash of a value name.
    std::string escaped;
    for (char c : key) escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
    std::string upper = escaped;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const auto it = values.find(upper);
    const auto exact = values.find(escaped);
    const auto& found = exact != values.end() ? exact : it;
    if (found == values.end()) return {};
    // hex(7):61,00,62,00,00 -> bytes -> names
    std::string data = found->second;
    EXPECT_EQ(data.rfind("hex(7):", 0), 0u) << data;
    // REG_MULTI_SZ as a .reg file writes it: UTF-16LE (our names are ASCII).
    std::vector<int> bytes;
    std::istringstream in(data.substr(7));
    for (std::string byte; std::getline(in, byte, ',');) {
      byte.erase(std::remove_if(byte.begin(), byte.end(),
                                [](char b) { return !std::isxdigit(static_cast<unsigned char>(b)); }),
                 byte.end());
      if (!byte.empty()) bytes.push_back(std::stoi(byte, nullptr, 16));
    }
    std::vector<std::string> names;
    std::string name;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
      const int unit = bytes[i] | (bytes[i + 1] << 8);
      if (unit != 0) {
        name += static_cast<char>(unit);
      } else if (!name.empty()) {
        names.push_back(name);
        name.clear();
      }
    }
    return names;
  }

  // A record seeded as a tampered or older one would be.
  void SeedRecord(const std::vector<std::string>& names) const {
    std::string data;
    for (const std::string& name : names) {
      for (char c : name) data += Hex(static_cast<unsigned char>(c)) + ",00,";
      data += "00,00,";
    }
    data += "00,00";
    std::string escaped;
    for (char c : FolderName()) escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
    sb_.SeedRegistry("[HKEY_CLASSES_ROOT\\Outlook.Application\\CurVer]\r\n@=\"Outlook.Application.13\"\r\n\r\n[" +
                     std::string(kRecordKey) + "]\r\n\"" + escaped + "\"=hex(7):" + data + "\r\n");
  }

  static std::string Hex(unsigned char c) {
    const char* digits = "0123456789abcdef";
    return {digits[c >> 4], digits[c & 0xF]};
  }

  Sandbox sb_{GetParam()};
  std::string log_;
};

TEST_P(OwnFiles, ThreeRunsRemoveWhatTheRuleNoLongerAssigns) {
  const std::set<std::string> summer = {"privat.htm",  "standard.htm", "standard.rtf",      "standard.txt",
                                        "standard_logo.gif", "sommer.htm", "sommer.rtf", "sommer.txt",
                                        "sommer_banner.gif"};
  const std::set<std::string> autumn = {"privat.htm", "standard.htm", "standard.rtf", "standard.txt",
                                        "standard_logo.gif"};
  for (const std::string mode : {"2", "1"}) {
    SCOPED_TRACE("RemoveOldSignatures=" + mode);
    Prepare("RemoveOldSignatures=" + mode + "\r\n");
    sb_.SeedRegistry("[HKEY_CLASSES_ROOT\\Outlook.Application\\CurVer]\r\n@=\"Outlook.Application.13\"\r\n");
    fs::remove_all(sb_.Path("home/.local/share/Trash"));
    // The first run has no record: nothing goes, the record is made.
    ASSERT_EQ(Run("2026-06-01").exitCode, 0) << log_;
    EXPECT_EQ(Files(), summer);
    const std::vector<std::string> record = Record();
    EXPECT_EQ(std::set<std::string>(record.begin(), record.end()),
              (std::set<std::string>{"standard.htm", "standard.rtf", "standard.txt", "standard_logo.gif",
                                     "sommer.htm", "sommer.rtf", "sommer.txt", "sommer_banner.gif"}));
    EXPECT_EQ(log_.find("Alte Signaturdatei entfernt"), std::string::npos) << log_;
    Age();
    ASSERT_EQ(Run("2026-06-02").exitCode, 0) << log_;
    EXPECT_EQ(Files(), summer);
    EXPECT_EQ(log_.find("Alte Signaturdatei entfernt"), std::string::npos) << log_;
    Age();
    // September: the rule gives "sommer" no more.
    ASSERT_EQ(Run("2026-09-01").exitCode, 0) << log_;
    EXPECT_EQ(Files(), autumn);
    EXPECT_EQ(sb_.Read("app/Microsoft/Signatures/privat.htm"), "meine eigene");
    for (const std::string name : {"sommer.htm", "sommer.rtf", "sommer.txt", "sommer_banner.gif"})
      EXPECT_NE(log_.find("TS -> Alte Signaturdatei entfernt: " + name + "\r\n"), std::string::npos) << log_;
    EXPECT_EQ(Record().size(), 4u);
    // The recycle bin (the freedesktop.org Trash, Wine's too) holds them in mode 1 only.
    EXPECT_EQ(fs::exists(sb_.Path("home/.local/share/Trash/files/sommer.htm")), mode == "1");
  }
}

TEST_P(OwnFiles, RemovesNothingTheRecordCannotVouchFor) {
  Prepare("RemoveOldSignatures=2\r\n");
  sb_.Write("app/outside.htm", "nicht im Ordner");
  sb_.Write("app/Microsoft/Signatures/frisch.htm", "eben geschrieben");
  SeedRecord({"..\\outside.htm", "C:\\boot.ini", "frisch.htm", "fehlt.htm", "privat.htm"});
  Age();
  // A second run of the same user in another session writes frisch.htm now.
  sb_.Write("app/Microsoft/Signatures/frisch.htm", "eben geschrieben");
  ASSERT_EQ(Run("2026-09-01").exitCode, 0) << log_;
  EXPECT_EQ(sb_.Read("app/outside.htm"), "nicht im Ordner");
  EXPECT_EQ(sb_.Read("app/Microsoft/Signatures/frisch.htm"), "eben geschrieben");
  for (const std::string line : {"-> ...Eintrag außerhalb des Signaturordners ignoriert: ..\\outside.htm",
                                 "-> ...Eintrag außerhalb des Signaturordners ignoriert: C:\\boot.ini",
                                 "-> ...Nicht entfernt (eben von einem anderen Lauf geschrieben): frisch.htm"})
    EXPECT_NE(log_.find(qmtest::Ansi(line) + "\r\n"), std::string::npos) << line << "\n" << log_;
  // The record decides: a privat.htm the program once wrote is the program's.
  EXPECT_FALSE(fs::exists(Folder() / "privat.htm"));
  // The record is this run's list now.
  const std::vector<std::string> record = Record();
  EXPECT_EQ(std::set<std::string>(record.begin(), record.end()),
            (std::set<std::string>{"standard.htm", "standard.rtf", "standard.txt", "standard_logo.gif"}));
}

TEST_P(OwnFiles, PreviewListsAndEmptyingKeepsOnlyTheRecord) {
  Prepare("RemoveOldSignatures=2\r\n");
  ASSERT_EQ(Run("2026-06-01").exitCode, 0) << log_;
  Age();
  const std::vector<std::string> before = Record();
  ASSERT_EQ(Run("2026-09-01", "/SIMULATE:" + sb_.Win("vorschau")).exitCode, 0) << log_;
  EXPECT_TRUE(fs::exists(Folder() / "sommer.htm"));
  EXPECT_EQ(Record(), before);
  EXPECT_NE(log_.find("TS -> W\xFCrde entfernt: sommer.htm\r\n"), std::string::npos) << log_;
  const std::string page = sb_.Read("vorschau/index.htm");
  EXPECT_NE(page.find("Ein Lauf entfernt (RemoveOldSignatures)"), std::string::npos);
  EXPECT_NE(page.find("<li><code>sommer_banner.gif</code></li>"), std::string::npos) << page;

  // With EmptySignatureFolder the folder is emptied as always; the key keeps the record.
  Prepare("RemoveOldSignatures=2\r\nEmptySignatureFolder=2\r\n");
  ASSERT_EQ(Run("2026-09-01").exitCode, 0) << log_;
  EXPECT_EQ(Files(), (std::set<std::string>{"standard.htm", "standard.rtf", "standard.txt", "standard_logo.gif"}));
  EXPECT_EQ(Record().size(), 4u);
  EXPECT_EQ(log_.find("Alte Signaturdatei entfernt"), std::string::npos) << log_;
}

TEST_P(OwnFiles, ProtectedFilesAreReplacedByTheNextRun) {
  Prepare("ProtectSignatures=1\r\n");
  ASSERT_EQ(Run("2026-09-01").exitCode, 0) << log_;
  const auto writable = [&](const std::string& name) {
    struct stat st {};
    EXPECT_EQ(::stat((Folder() / name).c_str(), &st), 0) << name;
    return (st.st_mode & 0222) != 0;
  };
  for (const std::string name : {"standard.htm", "standard.rtf", "standard.txt", "standard_logo.gif"}) {
    EXPECT_FALSE(writable(name)) << name;
    EXPECT_NE(log_.find("TS -> Schreibschutz gesetzt: " + name + "\r\n"), std::string::npos) << log_;
  }
  EXPECT_TRUE(writable("privat.htm"));
  sb_.Templates("standard", "Standard, neu\r\n");
  sb_.Write("cfg/Vorlagen/standard_logo.gif", "GIF89a neues logo");
  ASSERT_EQ(Run("2026-09-02").exitCode, 0) << log_;
  EXPECT_EQ(sb_.Read("app/Microsoft/Signatures/standard.txt"), "Standard, neu\r\n");
  EXPECT_EQ(sb_.Read("app/Microsoft/Signatures/standard_logo.gif"), "GIF89a neues logo");
  EXPECT_FALSE(writable("standard.txt"));
  // Without either key nothing of it happens: no record, no protection.
  Prepare("");
  ASSERT_EQ(Run("2026-09-01").exitCode, 0) << log_;
  EXPECT_TRUE(writable("standard.htm"));
  EXPECT_TRUE(Record().empty());
  EXPECT_EQ(log_.find("Schreibschutz"), std::string::npos);
  EXPECT_EQ(log_.find("Entferne alte Signaturen"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Builds, OwnFiles, BothBuilds(), BuildParamName);

}  // namespace
}  // namespace qmtest
