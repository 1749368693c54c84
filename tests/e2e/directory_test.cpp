// Whole runs of both builds with the directory source against a real slapd:
// which bases are searched, what the user's entry fills in, the sign types of
// every stage, the reader account, and the ways the step ends a run.
// The linux build reaches the server through the LDAP client configuration
// (LDAPURI) with bases written without server; the windows build under Wine
// names the server in each base, because serverless binding there would look
// for a domain controller on localhost. The error texts are the LDAP library's:
// OpenLDAP's English ones, wldap32's German ones in a German Windows (and Wine).
#include <algorithm>
#include <future>
#include <tuple>
#include <utility>

#include "../common/slapd_server.h"
#include "harness.h"

namespace qmtest {
namespace {

namespace fs = std::filesystem;

std::string Account(const std::string& name, const std::string& password) {
  return (name.empty() ? "" : "LDAPReaderAccountName=" + name + "\r\n") +
         (password.empty() ? "" : "LDAPReaderAccountPassword=" + password + "\r\n");
}
const std::string kReader = Account(kReaderDn, kReaderPassword);
constexpr const char* kSn = "LastName=*sn\r\n";

/// The "Ermittelte Benutzerdaten" dump with the given fields set, the rest empty.
std::string Dump(const std::vector<std::pair<std::string, std::string>>& values) {
  std::string out = "TS Ermittelte Benutzerdaten: ";
  for (const char* field : {"FirstName", "LastName", "Initials", "Title", "SignTitle1", "SignTitle2", "Phone", "Fax",
                            "Mobile", "eMail", "Postcode", "City", "Street", "UserDef1", "UserDef2", "UserDef3",
                            "UserDef4", "UserDef5", "UserDef6", "UserDef7", "UserDef8", "UserDef9", "UserDef10"}) {
    out += "\r\n" + std::string(field) + "=";
    for (const auto& [k, v] : values) out += k == field ? v : "";
  }
  return out + "\r\n";
}

/// The log line of a search below base.
std::string Query(const std::string& base, const std::string& user, const std::string& attributes = "sn",
                  const std::string& filter = "(objectCategory=person)(objectClass=user)") {
  return "TS AD -> ...LDAP-Abfragezeichenfolge: <LDAP://" + base + ">;(&" + filter + "(sAMAccountName=" + user +
         "));" + attributes + ";subtree\r\n";
}

bool Has(const std::string& log, const std::string& utf8) { return log.find(Ansi(utf8)) != std::string::npos; }

class DirectoryTest : public ::testing::TestWithParam<Build> {
 protected:
  void SetUp() override {
    if (!server_) server_ = std::make_unique<TestSlapd>(QM_TEST_TMP);
    sb_.MakeDir("appdata");
    sb_.MakeDir("Vorlagen");
    sb_.SeedOutlookVersion(13);  // the run looks for Outlook before the user data
  }
  static void TearDownTestSuite() { server_.reset(); }

  bool Linux() const { return GetParam() == Build::Linux; }

  /// A base as written in LDAPBaseObjectDN: bare on linux (the configured
  /// server), with the test server in front under Wine; "" stays "".
  std::string Base(const std::string& dn) const {
    return Linux() || dn.empty() ? dn : server_->Server() + "/" + dn;
  }
  std::string Bases(const std::vector<std::string>& dns) const {
    std::string out = "LDAPBaseObjectDN=";
    for (size_t i = 0; i < dns.size(); ++i) out += (i ? ";" : "") + Base(dns[i]);
    return out + "\r\n";
  }
  /// An error line with the library's text of this build.
  std::string Error(const std::string& number, const char* linux, const char* windows) const {
    return "TS Fehler " + number + ": " + (Linux() ? linux : windows) + "\r\n";
  }

  /// Runs with the [Main] settings, the field mapping and the arguments, the
  /// configuration in folder cfg; the run and its log.
  std::pair<RunResult, std::string> RunIn(const std::string& cfg, const std::string& main, const std::string& mapping,
                                          const std::string& args, Env env = {}) const {
    sb_.Write(cfg + "/site.ini", "[Main]\r\nLogFile=run.log\r\nAppDataPath=" + sb_.Win("appdata") +
                                     "\r\nTemplateFolder=" + sb_.Win("Vorlagen") + "\r\n" + main +
                                     "[FieldMapping]\r\n" + mapping);
    fs::remove(sb_.Path(cfg + "/run.log"));
    // On linux the test server is the client configuration's, and no other configuration is read.
    if (Linux())
      env.insert({{"LDAPURI", server_->Uri()}, {"LDAPCONF", "/dev/null"}, {"LDAPRC", "quillmark-test-none"}});
    RunResult r = sb_.Run("/INI:" + sb_.Win(cfg + "/site.ini") + " " + args, env, 90);
    return {r, MaskTimestamps(sb_.Read(cfg + "/run.log"))};
  }
  /// The same in cfg/; the log of this run.
  std::string Run(const std::string& main, const std::string& mapping, const std::string& args, Env env = {}) {
    std::string log;
    std::tie(result_, log) = RunIn("cfg", main, mapping, args, std::move(env));
    return log;
  }

  /// A run for user that ends with lines, the last of them its error.
  void ExpectFailure(const std::string& main, const std::string& mapping, const std::string& user,
                     const std::string& lines) {
    const std::string log = Run(main, mapping, "/DEBUG:LOG /ADUSER:" + user);
    EXPECT_EQ(result_.exitCode, 1) << result_.output;
    EXPECT_TRUE(Has(log, lines + "TS ********** Ende \r\n")) << log;
  }

  static inline std::unique_ptr<TestSlapd> server_;
  Sandbox sb_{GetParam()};
  RunResult result_;
};

TEST_P(DirectoryTest, UserInTheSecondBase) {
  // The attributes: names in another case, values joined, one attribute in two
  // fields, one the entry lacks. Only the sign types of base 2 are read.
  const std::string attrs = "givenName,SN,l,streetAddress,description,streetAddress,displayName";
  const std::string log = Run(
      Bases({kTechnik, kVertrieb}) + kReader + "FixedSignTypeForDN1=Eins\r\nFixedSignTypeForDN2= Zentrale \r\n",
      "FirstName=*givenName\r\nLastName=*SN\r\nCity=*l\r\nStreet=*streetAddress\r\nUserDef1=*description\r\n"
      "UserDef2=*streetAddress\r\nUserDef3=*displayName\r\n",
      "/DEBUG:LOG /ADUSER:mmuster");
  const std::string expected = Ansi(
      "TS Ermittle Active-Directory-abhängige Werte\r\nTS AD -> Öffne Verbindung zum Active Directory\r\n"
      "TS AD -> Verbindung: OK\r\nTS AD -> Ermittle DN's\r\nTS AD -> ...Anzahl abzufragender DN's: 2\r\n"
      "TS AD -> ...Abzufragende Attributliste: " + attrs + "\r\nTS AD -> Führe Abfrage für 1. DN aus\r\n" +
      Query(Base(kTechnik), "mmuster", attrs) + "TS AD -> Führe Abfrage für 2. DN aus\r\n" +
      Query(Base(kVertrieb), "mmuster", attrs) +
      "TS AD -> Benutzer gefunden\r\nTS AD -> ...DN-abhängige SignTypes: Zentrale\r\n"
      "TS AD -> ...DN-abhängige SignTypes für Antworten: \r\nTS AD -> Beende Active-Directory-Verbindung\r\n" +
      Dump({{"FirstName", "Max"}, {"LastName", "Mustermann"}, {"City", "Berlin"}, {"Street", "Hauptstraße 1"},
            {"UserDef1", "Zeile AZeile B"}, {"UserDef2", "Hauptstraße 1"}}));
  const size_t start = std::min(log.find(expected.substr(0, 20)), log.size());
  EXPECT_EQ(log.substr(start, expected.size()), expected) << log;
}

TEST_P(DirectoryTest, WhichUserIsSearched) {
  // /ADUSER: names the user of the search and of the error line.
  const std::string main = Bases({kVertrieb, kTechnik}) + kReader;
  // "doppelt" lives in both bases: the first that holds the user ends the search.
  const std::string both = Run(main, kSn, "/DEBUG:LOG /ADUSER:doppelt");
  EXPECT_TRUE(Has(both, Dump({{"LastName", "Vertrieb"}}))) << both;
  EXPECT_FALSE(Has(both, "Führe Abfrage für 2. DN aus")) << both;
  EXPECT_EQ(Run(main, kSn, "/ADUSER:niemand"),
            "TS @NIEMAND > Fehler 999: Benutzer 'niemand' im Active-Directory nicht gefunden!\r\n");
  // A wildcard given as the user acts as one: the base's first person.
  EXPECT_TRUE(Has(Run(main, kSn, "/DEBUG:LOG /ADUSER:*"), Dump({{"LastName", "Mustermann"}})));
  if (Linux()) {  // Wine takes USERNAME from the Unix account
    // Without it the Windows user, as written: a wildcard in it acts as one.
    const std::string log = Run(main, kSn, "/DEBUG:LOG", {{"USERNAME", "mm*ster"}});
    EXPECT_TRUE(Has(log, Dump({{"LastName", "Mustermann"}}))) << log;
  }
}

TEST_P(DirectoryTest, EmptyTrailingBaseIsSearchedToo) {
  const std::string log = Run(Bases({kVertrieb, ""}) + kReader, kSn, "/DEBUG:LOG /ADUSER:eberg");
  EXPECT_TRUE(Has(log, "TS AD -> Führe Abfrage für 2. DN aus\r\n" + Query("", "eberg"))) << log;
  if (Linux()) {
    // The configured server's default search base holds the user.
    EXPECT_TRUE(Has(log, Dump({{"LastName", "Berg"}}))) << log;
  } else {
    // Known Wine difference: serverless means localhost there, where no
    // directory answers; on Windows it is the user's domain.
    EXPECT_TRUE(Has(log, "TS Fehler -2147016646: ")) << log;
  }
}

TEST_P(DirectoryTest, SignTypesOfTheStages) {
  // Lowest to highest: the fixed setting, the database column, the base's
  // setting, the entry's attribute (the sign type tests of the units check the
  // stages of the sources). A sign type for new messages empties the one for replies.
  sb_.Write("leer.db", "");  // an empty SQLite database
  const std::string fixed = "FixedSignType=Fest\r\nFixedSignTypeReply=FestAntwort\r\n";
  const std::string db = "DatabaseConnection=Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + sb_.Win("leer.db") +
                         "\r\nUserSelect=SELECT 'Datenbank' AS Typ, 'DbAntwort' AS TypAntwort\r\n";
  const std::string base = "FixedSignTypeForDN1=  Zentrale \r\n";
  const std::string both = base + "FixedSignTypeReplyForDN1=ZentraleAntwort\r\n";
  const struct {
    const char* name;
    bool windowsToo;
    std::string settings, mapping;
    const char *type, *reply, *baseType, *baseReply;  // in the end, and after the base's settings
  } rows[] = {
      {"base beats the database, an attribute for replies the base", true, fixed + db + base,
       "SignType=Typ\r\nSignTypeReply=*company\r\n", "Zentrale", "quillmark gmbh", "Zentrale", ""},
      {"attributes for both", false, fixed + both, "SignType=*department\r\nSignTypeReply=*company\r\n",
       "vertrieb", "quillmark gmbh", "Zentrale", "ZentraleAntwort"},
  };
  for (const auto& row : rows) {
    if (!row.windowsToo && !Linux()) continue;
    SCOPED_TRACE(row.name);
    const std::string log =
        Run(Bases({kVertrieb}) + kReader + row.settings, row.mapping + kSn, "/DEBUG:LOG /ADUSER:mmuster");
    EXPECT_TRUE(Has(log, std::string("TS AD -> ...DN-abhängige SignTypes: ") + row.baseType +
                             "\r\nTS AD -> ...DN-abhängige SignTypes für Antworten: " + row.baseReply + "\r\n"))
        << log;
    EXPECT_TRUE(Has(log, std::string("TS Ermittelte SignTypes: \r\nSignType=") + row.type +
                             "\r\nSignTypeReply=" + row.reply + "\r\n"))
        << log;
  }
}

TEST_P(DirectoryTest, Failures) {
  const std::string notFound = "TS Fehler 999: Benutzer 'eberg' im Active-Directory nicht gefunden!\r\n";
  const std::string down = "127.0.0.1:" + std::to_string(FreeLoopbackPort()) + "/" + kVertrieb;
  const std::string nowhere = "ou=Nirgendwo,dc=quillmark,dc=test";
  const struct {
    const char* name;
    bool windowsToo;
    std::string main, user, lines, mapping = kSn;
  } rows[] = {
      {"account name alone (as password alone): anonymous, which sees no person", true,
       Bases({kTechnik}) + Account(kReaderDn, ""), "eberg", Query(Base(kTechnik), "eberg") + notFound},
      {"wrong password", true, Bases({kTechnik}) + Account(kReaderDn, "falsch"), "eberg",
       Query(Base(kTechnik), "eberg") +
           Error("-2147023570", "Invalid credentials", "Anmeldeinformationen fehlerhaft")},
      {"no bases", true, kReader, "mmuster",
       "TS AD -> Ermittle DN's\r\nTS Fehler 999: Keine Active-Directory-DN's in 'LDAPBaseObjectDN' "
       "konfiguriert!\r\n"},
      {"base that does not exist", true, Bases({nowhere}) + kReader, "mmuster",
       Query(Base(nowhere), "mmuster") + Error("-2147016656", "No such object", "Objekt nicht vorhanden")},
      {"filter the server rejects", true, Bases({kVertrieb}) + kReader + "LDAPFilter=(objectClass=user\r\n",
       "mmuster",
       Query(Base(kVertrieb), "mmuster", "sn", "(objectClass=user") +
           Error("-2147016642", "Bad search filter", "Filterfehler")},
      {"server that is down", true, "LDAPBaseObjectDN=" + down + "\r\n" + kReader, "mmuster",
       Query(down, "mmuster") + Error("-2147016646", "Can't contact LDAP server", "Server heruntergefahren")},
      {"EscapeUserName: every character with a meaning in a filter, the wildcard too", true,
       Bases({kVertrieb}) + kReader + "EscapeUserName=1\r\n", "mm*)(sn=\\",
       Query(Base(kVertrieb), "mm\\2a\\29\\28sn=\\5c") +
           "TS Fehler 999: Benutzer 'mm*)(sn=\\' im Active-Directory nicht gefunden!\r\n"},
      {"a mapping to * alone asks for an attribute without a name", false, Bases({kVertrieb}) + kReader, "mmuster",
       "TS AD -> ...DN-abhängige SignTypes für Antworten: \r\nTS Fehler 3265: Das Objekt in der Auflistung, das "
       "dem angeforderten Namen oder dem angeforderten Ordinalbezug entspricht, konnte nicht gefunden werden.\r\n",
       std::string(kSn) + "UserDef1=*\r\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    if (row.windowsToo || Linux()) ExpectFailure(row.main, row.mapping, row.user, row.lines);
  }
}

TEST_P(DirectoryTest, ServersThatNeverEnd) {
  // The time limit is the whole search's, every page and reference included,
  // and the pages are limited in number: whatever the server does, the run
  // ends with the timeout. The rows run at the same time, each with its server.
  SilentServer silent;  // takes the connection, reads nothing
  EndlessDirectory pages(EndlessDirectory::Answer::PagesAtOnce);
  EndlessDirectory slowPages(EndlessDirectory::Answer::PageEveryTwoSeconds);
  EndlessDirectory references(EndlessDirectory::Answer::ReferenceEveryTwoSeconds);
  // 30 s of the time limit, plus the start of the program (and of Wine).
  const double limit = Linux() ? 35.0 : 45.0;
  EndlessDirectory silentOnGroups(EndlessDirectory::Answer::OneEntryThenSilence);
  const std::string found = "TS AD -> Benutzer gefunden\r\nTS AD -> ...DN-abhängige SignTypes: \r\n"
                            "TS AD -> ...DN-abhängige SignTypes für Antworten: \r\n";
  const struct {
    const char* name;
    std::string server;
    double least, most;  // seconds the run takes
    std::string rules = "", lines = "";  // a signature rule; the lines between search and error
  } rows[] = {
      // The bind (linux) or the first request (windows) waits for the time limit.
      {"never answers", silent.Server(), 29.0, limit},
      // Ended by the number of pages, long before the time limit.
      {"a cookie for one more page, at once, for ever", pages.Server(), 0.0, 20.0},
      {"a cookie for one more page every 2 s", slowPages.Server(), 29.0, limit},
      {"a reference every 2 s and never the result", references.Server(), 29.0, limit},
      {"finds the user, then never answers the group search of a rule", silentOnGroups.Server(), 29.0, limit,
       "[Rule1]\r\nMemberOf=Firma\r\n", found},
  };
  std::vector<std::future<std::pair<RunResult, std::string>>> runs;
  for (size_t i = 0; i < std::size(rows); ++i) {
    const std::string main = "LDAPBaseObjectDN=" + rows[i].server + "/" + kVertrieb + "\r\n" + kReader;
    const std::string mapping = kSn + rows[i].rules;
    runs.push_back(std::async(std::launch::async, [this, i, main, mapping] {
      return RunIn("cfg" + std::to_string(i), main, mapping, "/DEBUG:LOG /ADUSER:mmuster");
    }));
  }
  for (size_t i = 0; i < std::size(rows); ++i) {
    SCOPED_TRACE(rows[i].name);
    const auto [r, log] = runs[i].get();
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_TRUE(Has(log, Query(rows[i].server + "/" + kVertrieb, "mmuster") + rows[i].lines +
                             Error("-2147023436", "Timed out", "Zeitüberschreitung") + "TS ********** Ende \r\n"))
        << log;
    EXPECT_GE(r.seconds, rows[i].least);
    EXPECT_LT(r.seconds, rows[i].most);
  }
}

TEST_P(DirectoryTest, Encryption) {
  // Servers that refuse a simple bind on a plain connection, and servers that never answer; each row searches two
  // bases of one server (the user is in the second). Known Wine difference: Wine's wldap32 has a libldap over its
  // SChannel that checks no certificate and waits for ever on a handshake that ends early or never; wldap32 on
  // Windows refuses those in the connect.
  const TestSlapd good(QM_TEST_TMP, Tls::Valid), expired(QM_TEST_TMP, Tls::Expired), self(QM_TEST_TMP, Tls::SelfSigned);
  SilentServer silent;
  EndlessDirectory noUpgrade(EndlessDirectory::Answer::PagesAtOnce);  // answers the root read, never StartTLS
  const std::string mode = "TS AD -> ...Verschlüsselung: ", ldaps = mode + "LDAPS\r\n";
  const std::string startTls = mode + "StartTLS\r\n", second = "TS AD -> Führe Abfrage für 2. DN aus\r\n";
  const std::string refused = Error("-2147016646", "Can't contact LDAP server", "");
  const struct {
    const char* name;
    bool windowsToo;
    std::string value, server, lines;  // lines after the first search text; "second" finds the user
    Env env = {};                       // LDAPTLS_CACERT the good server's CA unless set here
  } rows[] = {
      {"blank: off, the plain bind refused", true, " ", good.Server(),
       Error("-2147016659", "Confidentiality required", "Vertraulichkeit erforderlich")},
      {"StartTLS in another case", true, " starttls ", good.Server(), startTls + second},
      {"StartTLS refused by a server without TLS", true, "StartTLS", server_->Server(),
       startTls + Error("-2147016671", "Protocol error", "Protokollfehler")},
      {"LDAPS", true, "LDAPS", good.TlsServer(), ldaps + second},
      {"LDAPS to the configured server", false, "LDAPS", "", ldaps + second,
       {{"LDAPURI", "ldap://" + good.TlsServer() + "/"}}},
      {"another CA, whatever the client configuration allows", false, "LDAPS", good.TlsServer(), ldaps + refused,
       {{"LDAPTLS_CACERT", expired.CaFile()}, {"LDAPTLS_REQCERT", "never"}}},
      {"another host name", false, "LDAPS", good.TlsServer("127.0.0.2"), ldaps + refused},
      {"expired", false, "LDAPS", expired.TlsServer(), ldaps + refused, {{"LDAPTLS_CACERT", expired.CaFile()}}},
      {"self-signed", false, "StartTLS", self.Server(), startTls + Error("-2147016646", "Connect error", ""),
       {{"LDAPTLS_CACERT", self.CaFile()}}},
      {"a plain server on the LDAPS port closes in the handshake", false, "LDAPS", good.Server(), ldaps + refused},
      {"a handshake that never ends", false, "LDAPS", silent.Server(), ldaps + Error("-2147023436", "Timed out", "")},
      {"StartTLS to a server that never answers", true, "StartTLS", silent.Server(),
       startTls + Error("-2147023436", "Timed out", "Zeitüberschreitung")},
      // ldap_start_tls_s takes no time limit (Wine's waits for ever): the windows build bounds it on a
      // thread of its own, as it does the Negotiate binds, which Wine cannot make against this server.
      {"StartTLS never answered after the root entry", true, "StartTLS", noUpgrade.Server(),
       startTls + Error("-2147023436", "Timed out", "Zeitüberschreitung")},
      {"a configured URL that TLS cannot protect", false, "LDAPS", "",
       ldaps + "TS Fehler 999: Ungültige URL 'ldapi://%2Frun%2Fslapd' der LDAP-Client-Konfiguration für "
               "'LDAPEncryption' (erlaubt: ldap://, ldaps://)\r\n",
       {{"LDAPURI", "ldapi://%2Frun%2Fslapd"}}},
      // libldap drops a list it cannot use and tries localhost: refused before any connection.
      {"a configured URL that libldap does not know", false, "StartTLS", "",
       startTls + "TS Fehler 999: Ungültige URL 'cldap://127.0.0.1/' der LDAP-Client-Konfiguration für "
                  "'LDAPEncryption' (erlaubt: ldap://, ldaps://)\r\n",
       {{"LDAPURI", "ldap://127.0.0.1:1/, cldap://127.0.0.1/"}}},
  };
  std::vector<std::future<std::pair<RunResult, std::string>>> runs;
  std::vector<std::string> expected;
  for (size_t i = 0; i < std::size(rows); ++i) {
    const std::string at = rows[i].server.empty() ? "" : rows[i].server + "/";
    std::string& lines = expected.emplace_back(Query(at + kTechnik, "mmuster") + rows[i].lines);
    if (lines.ends_with(second)) lines += Query(at + kVertrieb, "mmuster") + "TS AD -> Benutzer gefunden\r\n";
    Env env = rows[i].env;
    env.insert({"LDAPTLS_CACERT", good.CaFile()});  // the linux client's authorities; Windows takes its store's
    runs.push_back(std::async(std::launch::async, [&, i, at, env] {
      if (!rows[i].windowsToo && !Linux()) return std::pair<RunResult, std::string>();
      return RunIn("tls" + std::to_string(i), "LDAPBaseObjectDN=" + at + kTechnik + ";" + at + kVertrieb + "\r\n" +
                   kReader + "LDAPEncryption=" + rows[i].value + "\r\n", kSn, "/DEBUG:LOG /ADUSER:mmuster", env);
    }));
  }
  for (size_t i = 0; i < std::size(rows); ++i) {
    const auto [r, log] = runs[i].get();
    if (!rows[i].windowsToo && !Linux()) continue;
    SCOPED_TRACE(rows[i].name);
    EXPECT_TRUE(Has(log, expected[i])) << log;
    EXPECT_EQ(log.find(Ansi(mode)), log.rfind(Ansi(mode))) << log;  // once for the server
    EXPECT_LT(r.seconds, Linux() ? 35.0 : 45.0);
  }
}

INSTANTIATE_TEST_SUITE_P(Builds, DirectoryTest, BothBuilds(), BuildParamName);

}  // namespace
}  // namespace qmtest
