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
  // Muster, Max: three groups at the first level, a comma in his name and in
  // one group's, 101 groups above Projekt-A that come on two pages.
  std::string musterGroups = "Team, Berlin; Projekt-A; Projekt-B; Standort-Berlin";
  for (int i = 1; i <= kVerteilerCount; ++i) musterGroups += "; " + Verteiler(i);
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
      {"several groups a level, escaped commas, a group in more groups than a page holds", "muster",
       "[Rule1]\r\nMemberOf=Verteiler-101\r\nSignType=gruppe\r\n[Rule2]\r\n"
       "MemberOf=CN=Team\\, Berlin,OU=Gruppen,DC=quillmark,DC=test\r\n"
       "SignTypeReply=antwort\r\n[Rule3]\r\nMemberOf=Team\r\nSignType=ou\r\n",
       "", "-", musterGroups.c_str(), "++-", "gruppe", "antwort"},
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

TEST_P(Rules, DirectoryRulesWithoutDirectoryFields) {
  // No field maps to an attribute: the rules alone make the directory step
  // run. A user found in no base (a local account) is no error there, and the
  // directory rules do not hold; a server that cannot be reached still ends
  // the run before anything is written.
  const std::string rules = "[Rule1]\r\nBelow=ou=Technik,dc=quillmark,dc=test\r\nSignType=ou\r\n"
                            "[Rule2]\r\nMemberOf=Firma\r\nSignType=gruppe\r\n[Rule3]\r\nCity=\r\nSignTypeReply=antwort\r\n";
  const std::string down = "LDAPBaseObjectDN=127.0.0.1:" + std::to_string(FreeLoopbackPort()) + "/" +
                           kDirectorySuffix + "\r\n" + kReader;
  const struct {
    const char* name;
    std::string user, directory;
    const char* lines;    // after the attribute list line
    const char* matches;  // per rule: + matches, - does not; "" when the run ends
    const char* type;     // the sign type written; "" when none is
  } rows[] = {
      {"found below an OU", "eberg", "", "TS AD -> Benutzer gefunden\r\n", "+-+", "ou"},
      {"found in no base", "niemand", "",
       "TS AD -> ...Benutzer nicht im Active-Directory, Regeln mit MemberOf/Below treffen nicht zu\r\n"
       "TS AD -> Beende Active-Directory-Verbindung\r\n",
       "--+", "basis"},
      {"a server that cannot be reached", "eberg", down, "TS Fehler -2147016646: ", "", ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    std::filesystem::remove_all(sb_.Path("app/Microsoft/Signatures"));
    const std::string log = Run(row.user, rules, "", row.directory, "");
    EXPECT_EQ(result_.exitCode, *row.matches != '\0' ? 0 : 1) << log;
    EXPECT_NE(log.find("TS ...Feldverwendung: Datenbank (DB)=FALSE; Active-Directory (AD)=FALSE\r\n"
                       "TS Ermittle Regeln\r\nTS ...Anzahl Regeln: 3\r\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("TS AD -> ...Abzufragende Attributliste: \r\n"), std::string::npos) << log;
    const size_t query = log.find("TS AD -> ...LDAP-Abfragezeichenfolge: ");
    EXPECT_EQ(log.find(row.lines, query), log.find("\r\n", query) + 2) << log;
    std::string checked = "TS Prüfe Regeln\r\n";
    for (size_t i = 0; row.matches[i] != '\0'; ++i)
      checked += "TS ...Regel " + std::to_string(i + 1) + ": trifft " + (row.matches[i] == '+' ? "" : "nicht ") + "zu\r\n";
    EXPECT_EQ(log.find(Ansi(checked)) != std::string::npos, *row.matches != '\0') << log;
    const Tree files = ReadTree(sb_.Path("app/Microsoft/Signatures"));
    EXPECT_EQ(files.empty(), *row.type == '\0');
    if (*row.type != '\0') {
      EXPECT_TRUE(sb_.Exists(std::string("app/Microsoft/Signatures/") + row.type + ".txt"));
    }
  }
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
