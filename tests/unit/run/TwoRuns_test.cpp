// Two runs in one process: each run's record holds all of its data, so two
// users rendered side by side, their steps interleaved, get exactly the files
// and log lines each gets alone.
#include <algorithm>
#include <map>
#include <regex>

#include "records/Settings.h"
#include "run/ConfigurationCheck.h"
#include "run/modMain.h"
#include "signatures/MailboxSignatures.h"
#include "signatures/Rules.h"
#include "signatures/SignTypes.h"
#include "signatures/modFiles.h"
#include "unit_support.h"
#include "userdata/Sources.h"

namespace qm {
namespace {

using F = UserField;

// One user of the company: the configuration, the data the sources would
// give and the mailboxes the directory would find.
struct User {
  std::string name;
  std::string config;
  std::vector<std::pair<F, std::string>> fields;
  std::vector<std::pair<std::string, std::string>> mailboxes;  // address, phone
};

const User kAnna = {
    "anna",
    "[Main]\r\nFixedSignType=standard\r\nFixedSignTypeReply=kurz\r\nEscapeValues=1\r\n"
    "TemplateConditions=1\r\nMailboxSignatures=1\r\nLDAPBaseObjectDN=dc=firma,dc=de\r\n"
    "[Rule1]\r\nCity=Gd*\r\nSignType=polska\r\n",
    {{F::FirstName, "Anna"}, {F::LastName, "Nowak"}, {F::City, "Gdańsk"}, {F::Mobile, "0171 1"}},
    {{"vertrieb@firma.de", "040 1"}, {"info@firma.de", ""}}};

const User kBernd = {
    "bernd",
    "[Main]\r\nFixedSignType=standard\r\nDropEmptyLines=1\r\nPlaceholderSymbol=%\r\n"
    "[Rule1]\r\nCity=Gd*\r\nSignType=polska\r\n",
    {{F::FirstName, "Bernd"}, {F::LastName, "Müller & Söhne"}, {F::City, "Hamburg"}},
    {}};

class TwoRuns : public unit::FolderTest {
 protected:
  void SetUp() override {
    FolderTest::SetUp();
    // The templates both users share, in the three formats; "%" is Bernd's
    // symbol, "@" Anna's.
    const std::string body =
        "@FULLNAME@ %FULLNAME%\r\n@IF MOBILE@\r\nMobil @MOBILE@\r\n@ENDIF@\r\n"
        "@MAILBOX_PHONE@\r\nFax %FAX%\r\n@CITY@ %CITY%\r\n";
    for (const char* type : {"standard", "kurz", "polska"}) {
      Write(std::string("vorlagen/") + type + ".htm", std::string("<p>") + type + "</p>\r\n" + body);
      Write(std::string("vorlagen/") + type + ".rtf", std::string("{\\rtf1 ") + type + "\r\n" + body + "}");
      Write(std::string("vorlagen/") + type + ".txt", std::string(type) + "\r\n" + body);
    }
  }

  // Steps 4 to 22 of the user's run, on the record given: what the run knows
  // before the first file is written.
  void Prepare(qm::Run& r, const User& user) {
    Write(user.name + "/q.ini", user.config);
    std::filesystem::create_directories(Path(user.name + "/signaturen"));
    r.RunState.ConfigFilePath = Core(user.name + "/q.ini");
    r.RunState.ProgramFolderPath = Core(user.name) + "\\";
    r.RunState.TemplateFolderPath = Core("vorlagen") + "\\";
    r.RunState.SignatureFolderPath = Core(user.name + "/signaturen") + "\\";
    r.RunState.LogFilePath = Core(user.name + "/q.log");
    r.RunState.DebugLog = true;
    r.RunState.UserName = user.name;
    r.RunState.Today = platform::Date{2026, 12, 7};
    ReadSignatureSettings(r);
    ASSERT_TRUE(ReadFixedSignTypes(r));
    ReadFieldMappings(r);
    CheckConfiguration(r);
    for (const auto& [field, value] : user.fields) WriteSourceValue(r.UserData, field, value);
    for (const auto& [address, phone] : user.mailboxes) {
      MailboxRecord& m = r.Mailboxes.emplace_back();
      m.Address = address;
      m.NameSuffix = " (" + address + ")";
      m.Found = true;
      m.Data[F::Phone] = phone;
    }
    r.RuleOutcome = ApplyRules(r, r.UserData, r.Membership);
    ResolveSignTypes(r);
    ResolveMailboxSignTypes(r);
    CheckSignatureNames(r);
  }

  // Every file the user's run left, by name, the log without its times.
  std::map<std::string, std::string> Output(const User& user) {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(Path(user.name + "/signaturen")))
      files[entry.path().filename().string()] = Read(user.name + "/signaturen/" + entry.path().filename().string());
    // Each log line begins with the date and time in the locale's format.
    static const std::regex kTime(R"((^|\n)[0-9][0-9./-]* [0-9][0-9:]* )");
    files["log"] = std::regex_replace(Read(user.name + "/q.log"), kTime, "$1");
    return files;
  }

  void Clear(const User& user) { std::filesystem::remove_all(Path(user.name)); }
};

TEST_F(TwoRuns, InterleavedGiveWhatEachGivesAlone) {
  // Alone: one record, one user, one after the other.
  std::map<std::string, std::map<std::string, std::string>> alone;
  for (const User* user : {&kAnna, &kBernd}) {
    NewRun();
    Prepare(run, *user);
    ASSERT_TRUE(ProcessSignatures(run));
    alone[user->name] = Output(*user);
    Clear(*user);
  }
  // The two users' data really differ where a shared value would show.
  ASSERT_NE(alone["anna"], alone["bernd"]);
  ASSERT_TRUE(alone["anna"].contains("polska (vertrieb@firma.de).htm"));
  ASSERT_TRUE(alone["bernd"].contains("standard.txt"));
  ASSERT_FALSE(alone["bernd"].contains("polska.txt"));
  // The txt is in the ANSI code page.
  EXPECT_NE(alone["bernd"]["standard.txt"].find("M\xFCller & S\xF6hne"), std::string::npos);
  EXPECT_NE(alone["anna"]["polska (vertrieb@firma.de).htm"].find("040 1"), std::string::npos);
  EXPECT_NE(alone["anna"]["log"].find("Erzeuge HTM-Datei"), std::string::npos);

  // Side by side: two records, the steps of one between those of the other.
  qm::Run anna;
  qm::Run bernd;
  Prepare(anna, kAnna);
  Prepare(bernd, kBernd);
  ASSERT_TRUE(ProcessSignatures(bernd));
  ASSERT_TRUE(ProcessSignatures(anna));
  EXPECT_EQ(Output(kAnna), alone["anna"]);
  EXPECT_EQ(Output(kBernd), alone["bernd"]);
}

}  // namespace
}  // namespace qm
