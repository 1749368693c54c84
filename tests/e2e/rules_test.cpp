// Whole runs of both builds with signature rules against the test slapd: each
// kind of condition, several in one rule, the first match, the end of the
// list, and the day of /DATE (the errors are among the refusals of the
// configuration check). Bases as in the directory tests: bare on linux
// (LDAPURI), with the server in front under Wine.
#include "../common/slapd_server.h"
#include "harness.h"

namespace qmtest {
namespace {

const std::string kReader = std::string("LDAPReaderAccountName=") + kReaderDn +
                            "\r\nLDAPReaderAccountPassword=" + kReaderPassword + "\r\n";

/// The rest of the first log line that begins with prefix; "-" when none does.
std::string LineAfter(const std::string& log, const std::string& prefix) {
  const size_t at = log.find(prefix);
  if (at == std::string::npos) return "-";
  const size_t from = at + prefix.size();
  return log.substr(from, log.find("\r\n", from) - from);
}

class Rules : public ::testing::TestWithParam<Build> {
 protected:
  void SetUp() override {
    if (!server_) server_ = std::make_unique<TestSlapd>(QM_TEST_TMP);
    for (const char* name : {"basis", "gruppe", "ou", "feld", "advent", "antwort"})
      sb_.Templates(name, name);
    sb_.SeedOutlookVersion(13);  // nothing is registered
  }
  static void TearDownTestSuite() { server_.reset(); }

  bool Linux() const { return GetParam() == Build::Linux; }
  std::string Bases() const {
    return std::string("LDAPBaseObjectDN=") + (Linux() ? "" : server_->Server() + "/") +
           kDirectorySuffix + "\r\n";
  }

  /// A logged run for user with the rules after the field mapping (the city
  /// from the directory); its log with time stamps masked.
  std::string Run(const std::string& user, const std::string& rules, const std::string& args = "",
                  const std::string& directory = "", const std::string& mapping = "City=*l\r\n") {
    sb_.Configure("FixedSignType=basis\r\n" + (directory.empty() ? Bases() + kReader : directory),
                  mapping + rules);
    Env env;
    if (Linux())
      env = {{"LDAPURI", server_->Uri()},
             {"LDAPCONF", "/dev/null"},
             {"LDAPRC", "quillmark-test-none"}};
    result_ = sb_.RunLogged("/ADUSER:" + user + " " + args, env);
    return sb_.Log();
  }

  static inline std::unique_ptr<TestSlapd> server_;
  Sandbox sb_{GetParam()};
  RunResult result_;
};

TEST_P(Rules, WhichRuleGivesTheSignTypes) {
  const struct {
    const char* name;
    std::string user, rules, args;
    const char* day;      // the day line of /DATE, "-" for none
    const char* groups;   // the group line, "-" for none
    const char* matches;  // per rule: + matches, - does not
    const char *type, *reply;
  } rows[] = {
      {"a group three levels up by its cn, one by its DN in another case and with blanks",
       "mmuster",
       "[Rule1]\r\nMemberOf=Technik;firma\r\nSignType=gruppe\r\n[Rule2]\r\n"
       "MemberOf=CN=Vertrieb-Alle, OU=Gruppen,DC=QUILLMARK, dc=test\r\nSignTypeReply=Antwort\r\n",
       "", "-", "Vertrieb-Team; Vertrieb-Alle; Firma", "++", "gruppe", "antwort"},
      {"a loop of groups ends; a group the user is not in", "eberg",
       "[Rule1]\r\nMemberOf=Vertrieb-Team\r\nSignType=ou\r\n[Rule2]\r\nMemberOf=schleife-b\r\nSignType=gruppe\r\n",
       "", "-", "Schleife-A; Schleife-B", "-+", "gruppe", ""},
      {"a DN with ( ) and * escaped in the group filter", "paul",
       "[Rule1]\r\nMemberOf=Praktikanten\r\nSignType=gruppe\r\n", "", "-", "Praktikanten", "+",
       "gruppe", ""},
      {"groups nested deeper than 16 levels: the first 16", "tief",
       "[Rule1]\r\nMemberOf=Tief-17\r\nSignType=ou\r\n[Rule2]\r\nMemberOf=Tief-16\r\nSignType=gruppe\r\n",
       "", "-",
       "Tief-1; Tief-2; Tief-3; Tief-4; Tief-5; Tief-6; Tief-7; Tief-8; Tief-9; Tief-10; Tief-11; Tief-12; "
       "Tief-13; Tief-14; Tief-15; Tief-16",
       "-+", "gruppe", ""},
      {"below an OU, written in another case and with blanks", "mmuster",
       "[Rule1]\r\nBelow=ou=Technik,dc=quillmark,dc=test\r\nSignType=ou\r\n"
       "[Rule2]\r\nBelow=OU=Vertrieb, DC=Quillmark, DC=Test\r\nSignType=ou\r\n",
       "", "-", "-", "-+", "ou", ""},
      {"fields, several conditions in one rule, the first match for each list, a rule without conditions",
       "eberg",
       "[Rule1]\r\nCity=M*\r\nBelow=ou=Vertrieb,dc=quillmark,dc=test\r\nSignType=ou\r\n"
       "[Rule2]\r\ncity=m?NCHEN\r\nSignType=feld\r\n[Rule3]\r\nSignType=ou\r\nSignTypeReply=antwort\r\n",
       "", "-", "-", "-++", "feld", "antwort"},
      {"the first missing number ends the list", "mmuster",
       "[Rule1]\r\nCity=Nirgendwo\r\nSignType=feld\r\n[Rule3]\r\nSignType=ou\r\n", "", "-", "-",
       "-", "basis", ""},
      {"/DATE on the last day of a range", "mmuster",
       "[Rule1]\r\nFrom=2026-12-01\r\nUntil=2026-12-31\r\nSignType=advent\r\n", "/DATE:2026-12-31",
       "31.12.2026", "-", "+", "advent", ""},
      {"/DATE on the first day after one, and before one", "mmuster",
       "[Rule1]\r\nUntil=2026-12-23\r\nSignType=ou\r\n[Rule2]\r\nFrom=2026-12-24\r\nSignType=advent\r\n",
       "/DATE:2026-12-24", "24.12.2026", "-", "-+", "advent", ""},
      {"/DATE after a range", "mmuster",
       "[Rule1]\r\nFrom=2026-12-01\r\nUntil=2026-12-31\r\nSignType=advent\r\n", "/DATE:2027-01-01",
       "01.01.2027", "-", "-", "basis", ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string log = Run(row.user, row.rules, row.args);
    EXPECT_EQ(result_.exitCode, 0) << log;
    EXPECT_EQ(LineAfter(log, "TS AD -> ...Gruppen: "), row.groups);
    std::string checked = "TS Prüfe Regeln\r\n";
    for (size_t i = 0; row.matches[i] != '\0'; ++i) {
      checked += "TS ...Regel " + std::to_string(i + 1) + ": trifft " +
                 (row.matches[i] == '+' ? "" : "nicht ") + "zu\r\n";
    }
    EXPECT_NE(log.find(Ansi(checked)), std::string::npos) << log;
    EXPECT_NE(log.find(std::string("SignType=") + row.type + "\r\nSignTypeReply=" + row.reply +
                       "\r\n"),
              std::string::npos)
        << log;
    EXPECT_TRUE(sb_.Exists(std::string("app/Microsoft/Signatures/") + row.type + ".txt"));
    EXPECT_EQ(LineAfter(log, "TS ...Datum: "), row.day);
  }
}

TEST_P(Rules, ADirectoryRuleLooksTheUserUpWithoutDirectoryFields) {
  // The usage line is about the fields; the rule makes the directory step run all the same.
  const std::string log = Run("eberg",
                              "[Rule1]\r\nBelow=ou=Technik,dc=quillmark,dc=test\r\nSignType=ou\r\n",
                              "", "", "");
  EXPECT_NE(
      log.find(
          "TS ...Feldverwendung: Datenbank (DB)=FALSE; Active-Directory (AD)=FALSE\r\nTS Ermittle Regeln\r\n"
          "TS ...Anzahl Regeln: 1\r\n"),
      std::string::npos)
      << log;
  EXPECT_NE(log.find("TS AD -> ...Abzufragende Attributliste: \r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("SignType=ou\r\n"), std::string::npos) << log;
}

TEST_P(Rules, WithoutRule1TheRunIsTodays) {
  // Rule sections after a gap at 1 are never read: the run writes and logs
  // what the same configuration without them does, byte for byte.
  const std::string without = Run("mmuster", "");
  const Tree files = ReadTree(sb_.Path("app"));
  const std::string with = Run("mmuster", "[Rule2]\r\nSignType=ou\r\n");
  EXPECT_EQ(with, without);
  EXPECT_EQ(ReadTree(sb_.Path("app")), files);
  EXPECT_EQ(without.find("Regel"), std::string::npos) << without;
}

INSTANTIATE_TEST_SUITE_P(Builds, Rules, BothBuilds(), BuildParamName);

}  // namespace
}  // namespace qmtest
