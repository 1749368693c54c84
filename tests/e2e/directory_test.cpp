// Whole runs of both builds with the directory source against a real slapd:
// which bases are searched, what the user's entry fills in, the sign types of a
// base, the reader account, and servers that are down or never answer.
// The linux build reaches the server through the LDAP client configuration
// (LDAPURI) with bases written without server; the windows build under Wine
// names the server in each base, because serverless binding there would look
// for a domain controller on localhost. The error texts are the LDAP library's:
// OpenLDAP's English ones, wldap32's German ones in a German Windows (and Wine).
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "../common/slapd_server.h"
#include "harness.h"

namespace qmtest {
namespace {

namespace fs = std::filesystem;

// The log file is written in the ANSI code page; the texts here are UTF-8.
std::string Ansi(std::string_view utf8) {
  std::string out;
  for (size_t i = 0; i < utf8.size(); ++i) {
    auto c = static_cast<unsigned char>(utf8[i]);
    if (c == 0xc3 && i + 1 < utf8.size()) {
      out += static_cast<char>(0x40 + static_cast<unsigned char>(utf8[++i]));
    } else if (c == 0xc2 && i + 1 < utf8.size()) {
      out += utf8[++i];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}


// The part of the log from the line with `from` to the end of the line with
// `to` (both included); "" when either is missing.
std::string Section(const std::string& log, const std::string& from, const std::string& to) {
  size_t start = log.find(from);
  if (start == std::string::npos) return "";
  start = log.rfind('\n', start);
  start = start == std::string::npos ? 0 : start + 1;
  size_t end = log.find(to, start);
  if (end == std::string::npos) return "";
  end = log.find("\r\n", end);
  return log.substr(start, end == std::string::npos ? std::string::npos : end + 2 - start);
}

bool Has(const std::string& log, const std::string& utf8) {
  return log.find(Ansi(utf8)) != std::string::npos;
}

const char* const kDumpFields[] = {"FirstName", "LastName", "Initials", "Title", "SignTitle1",
                                   "SignTitle2", "Phone", "Fax", "Mobile", "eMail", "Postcode",
                                   "City", "Street", "UserDef1", "UserDef2", "UserDef3",
                                   "UserDef4", "UserDef5", "UserDef6", "UserDef7", "UserDef8",
                                   "UserDef9", "UserDef10"};

/// The "Ermittelte Benutzerdaten" dump with the given fields set, the rest empty.
std::string Dump(const std::vector<std::pair<std::string, std::string>>& values) {
  std::string out = "TS Ermittelte Benutzerdaten: ";
  for (const char* field : kDumpFields) {
    std::string value;
    for (const auto& [k, v] : values) {
      if (k == field) value = v;
    }
    out += "\r\n" + std::string(field) + "=" + value;
  }
  return Ansi(out + "\r\n");
}

class DirectoryTest : public ::testing::TestWithParam<Build> {
 protected:
  static void SetUpTestSuite() {
    try {
      server_ = std::make_unique<TestSlapd>(fs::path(QM_TEST_TMP));
    } catch (const std::exception& e) {
      startError_ = e.what();
    }
  }
  static void TearDownTestSuite() { server_.reset(); }

  void SetUp() override {
    if (!server_) FAIL() << "no slapd: " << startError_;
    sb_ = std::make_unique<Sandbox>(GetParam());
    sb_->MakeDir("appdata");
    sb_->MakeDir("Vorlagen");
    // Outlook must be known for the run to get to the user data.
    sb_->SeedOutlookVersion(13);
  }

  bool Linux() const { return GetParam() == Build::Linux; }

  /// A base as written in LDAPBaseObjectDN: bare on linux (the configured
  /// server), with the test server in front under Wine.
  std::string Base(const std::string& dn) const {
    return Linux() ? dn : server_->Server() + "/" + dn;
  }
  static std::string Reader() {
    return std::string("LDAPReaderAccountName=") + kReaderDn + "\r\nLDAPReaderAccountPassword=" +
           kReaderPassword + "\r\n";
  }

  /// The environment of a run: on linux the test server as the client
  /// configuration's URI, and no other configuration file read.
  Env RunEnv(Env extra = {}) const {
    if (!Linux()) return extra;
    extra.emplace("LDAPURI", server_->Uri());
    extra.emplace("LDAPCONF", "/dev/null");
    extra.emplace("LDAPRC", "quillmark-test-none");
    return extra;
  }

  /// Writes the configuration file, runs with /DEBUG:LOG and the extra
  /// arguments, and gives the log of this run alone.
  std::string RunLogged(const std::string& main, const std::string& mapping,
                        const std::string& args, RunResult* result = nullptr, Env env = {},
                        int timeout = 90) {
    sb_->Write("cfg/site.ini", "[Main]\r\nLogFile=run.log\r\nAppDataPath=" + sb_->Win("appdata") +
                                   "\r\nTemplateFolder=" + sb_->Win("Vorlagen") + "\r\n" + main +
                                   "[FieldMapping]\r\n" + mapping);
    fs::remove(sb_->Path("cfg/run.log"));
    RunResult r = sb_->Run("/INI:" + sb_->Win("cfg/site.ini") + " /DEBUG:LOG " + args,
                           RunEnv(std::move(env)), timeout);
    if (result != nullptr) *result = r;
    return MaskTimestamps(sb_->Read("cfg/run.log"));
  }

  std::string Query(const std::string& base, const std::string& user,
                    const std::string& attributes) const {
    return "<LDAP://" + base + ">;(&(objectCategory=person)(objectClass=user)(sAMAccountName=" +
           user + "));" + attributes + ";subtree";
  }

  static inline std::unique_ptr<TestSlapd> server_;
  static inline std::string startError_;
  std::unique_ptr<Sandbox> sb_;
};

TEST_P(DirectoryTest, UserInTheSecondBase) {
  const std::string bases = Base(kVertrieb) + ";" + Base(kTechnik);
  const std::string attrs = "givenName,sn,mail,mobile,l,description";
  std::string log = RunLogged(
      "LDAPBaseObjectDN=" + bases + "\r\n" + Reader() +
          "FixedSignTypeForDN1=Eins\r\nFixedSignTypeForDN2= Zentrale \r\n",
      "FirstName=*givenName\r\nLastName=*sn\r\nEMail=*mail\r\nMobile=*mobile\r\nCity=*l\r\n"
      "UserDef1=*description\r\n",
      "/ADUSER:eberg");
  EXPECT_EQ(Section(log, Ansi("Ermittle Active-Directory-abhängige Werte"), "UserDef10="),
            Ansi("TS Ermittle Active-Directory-abhängige Werte\r\n"
                 "TS AD -> Öffne Verbindung zum Active Directory\r\n"
                 "TS AD -> Verbindung: OK\r\n"
                 "TS AD -> Ermittle DN's\r\n"
                 "TS AD -> ...Anzahl abzufragender DN's: 2\r\n"
                 "TS AD -> ...Abzufragende Attributliste: " + attrs + "\r\n"
                 "TS AD -> Führe Abfrage für 1. DN aus\r\n"
                 "TS AD -> ...LDAP-Abfragezeichenfolge: " + Query(Base(kVertrieb), "eberg", attrs) + "\r\n"
                 "TS AD -> Führe Abfrage für 2. DN aus\r\n"
                 "TS AD -> ...LDAP-Abfragezeichenfolge: " + Query(Base(kTechnik), "eberg", attrs) + "\r\n"
                 "TS AD -> Benutzer gefunden\r\n"
                 "TS AD -> ...DN-abhängige SignTypes: Zentrale\r\n"
                 "TS AD -> ...DN-abhängige SignTypes für Antworten: \r\n"
                 "TS AD -> Beende Active-Directory-Verbindung\r\n") +
                Dump({{"FirstName", "Erika"}, {"LastName", "Berg"},
                      {"eMail", "erika.berg@quillmark.test"}, {"City", "München"}}))
      << log;
}

TEST_P(DirectoryTest, UserInTheFirstBaseEndsTheSearch) {
  // "doppelt" lives in both OUs; the first base's entry is taken.
  std::string log = RunLogged("LDAPBaseObjectDN=" + Base(kVertrieb) + ";" + Base(kTechnik) +
                                  "\r\n" + Reader(),
                              "SignTitle1=*title\r\nLastName=*SN\r\n", "/ADUSER:doppelt");
  EXPECT_TRUE(Has(log, "AD -> Führe Abfrage für 1. DN aus")) << log;
  EXPECT_FALSE(Has(log, "AD -> Führe Abfrage für 2. DN aus")) << log;
  EXPECT_NE(log.find(Dump({{"SignTitle1", "Erster"}, {"LastName", "Vertrieb"}})), std::string::npos)
      << "attribute names match without regard to case\n" << log;
}

TEST_P(DirectoryTest, UserInNoBase) {
  const std::string main = "LDAPBaseObjectDN=" + Base(kVertrieb) + ";" + Base(kTechnik) + "\r\n" + Reader();
  std::string log = RunLogged(main, "LastName=*sn\r\n", "/ADUSER:niemand");
  EXPECT_NE(log.find(Ansi("TS AD -> ...LDAP-Abfragezeichenfolge: " +
                          Query(Base(kTechnik), "niemand", "sn") + "\r\n"
                          "TS Fehler 999: Benutzer 'niemand' im Active-Directory nicht gefunden!\r\n"
                          "TS ********** Ende \r\n")),
            std::string::npos)
      << "the error comes after the last base's search\n" << log;
  EXPECT_EQ(log.find("Ermittelte Benutzerdaten"), std::string::npos) << log;

  // Silent: the one error line carries the directory user's name.
  sb_->Write("cfg/site.ini", "[Main]\r\nLogFile=silent.log\r\nAppDataPath=" + sb_->Win("appdata") +
                                 "\r\nTemplateFolder=" + sb_->Win("Vorlagen") + "\r\n" + main +
                                 "[FieldMapping]\r\nLastName=*sn\r\n");
  RunResult r = sb_->Run("/INI:" + sb_->Win("cfg/site.ini") + " /ADUSER:niemand", RunEnv());
  EXPECT_EQ(MaskTimestamps(sb_->Read("cfg/silent.log")),
            "TS @NIEMAND > Fehler 999: Benutzer 'niemand' im Active-Directory nicht gefunden!\r\n")
      << r.output;
}

TEST_P(DirectoryTest, EmptyTrailingBaseIsSearchedToo) {
  std::string log = RunLogged("LDAPBaseObjectDN=" + Base(kVertrieb) + ";\r\n" + Reader(),
                              "LastName=*sn\r\n", "/ADUSER:eberg");
  EXPECT_TRUE(Has(log, "TS AD -> ...Anzahl abzufragender DN's: 2\r\n")) << log;
  EXPECT_TRUE(Has(log, "TS AD -> Führe Abfrage für 2. DN aus\r\n"
                       "TS AD -> ...LDAP-Abfragezeichenfolge: <LDAP://>;(&")) << log;
  if (Linux()) {
    // The configured server's default search base holds the user.
    EXPECT_NE(log.find(Dump({{"LastName", "Berg"}})), std::string::npos) << log;
  } else {
    // Known Wine difference: serverless means localhost there, where no
    // directory answers; on Windows it is the user's domain.
    EXPECT_TRUE(Has(log, "TS Fehler -2147016646: ")) << log;
  }
}

TEST_P(DirectoryTest, MultiValuedAndMissingAttributes) {
  std::string log = RunLogged(
      "LDAPBaseObjectDN=" + Base(kVertrieb) + "\r\n" + Reader(),
      "UserDef1=*description\r\nUserDef2=*streetAddress\r\nUserDef3=*department\r\n"
      "Street=*streetAddress\r\nMobile=*mobile\r\n",
      "/ADUSER:mmuster");
  EXPECT_NE(log.find(Dump({{"UserDef1", "Zeile AZeile B"}, {"UserDef2", "Hauptstraße 1"},
                           {"UserDef3", "Vertrieb"}, {"Street", "Hauptstraße 1"},
                           {"Mobile", "+49 170 1234567"}})),
            std::string::npos)
      << "values joined without separator; one attribute may fill two fields\n" << log;
  EXPECT_TRUE(Has(log, "...Abzufragende Attributliste: mobile,streetAddress,description,"
                       "streetAddress,department\r\n")) << log;

  // Erika Berg has neither mobile nor title: the fields stay empty.
  log = RunLogged("LDAPBaseObjectDN=" + Base(kTechnik) + "\r\n" + Reader(),
                  "Mobile=*mobile\r\nSignTitle1=*title\r\nLastName=*sn\r\n", "/ADUSER:eberg");
  EXPECT_NE(log.find(Dump({{"LastName", "Berg"}})), std::string::npos) << log;
}

TEST_P(DirectoryTest, CommandLineUserOrWindowsUser) {
  const std::string main = "LDAPBaseObjectDN=" + Base(kVertrieb) + "\r\n" + Reader();
  std::string log = RunLogged(main, "LastName=*sn\r\n", "/ADUSER:mmuster");
  EXPECT_TRUE(Has(log, Query(Base(kVertrieb), "mmuster", "sn"))) << log;
  EXPECT_NE(log.find(Dump({{"LastName", "Mustermann"}})), std::string::npos) << log;
  if (Linux()) {
    // Without /ADUSER: the Windows user name (here from USERNAME).
    log = RunLogged(main, "LastName=*sn\r\n", "", nullptr, {{"USERNAME", "mmuster"}});
    EXPECT_TRUE(Has(log, "...Windows-Benutzername: mmuster\r\n")) << log;
    EXPECT_NE(log.find(Dump({{"LastName", "Mustermann"}})), std::string::npos) << log;
  }
  // The name goes into the filter as written: a wildcard in it acts as one.
  log = RunLogged(main, "LastName=*sn\r\n", "/ADUSER:mm*ster");
  EXPECT_NE(log.find(Dump({{"LastName", "Mustermann"}})), std::string::npos) << log;
}

TEST_P(DirectoryTest, ReaderAccount) {
  struct Row {
    const char* name;
    std::string account;
    bool found;
    long error;  // 0: none, 999: not found
  };
  const Row rows[] = {
      {"name and password", Reader(), true, 0},
      {"name only: anonymous, which sees no person", std::string("LDAPReaderAccountName=") +
                                                        kReaderDn + "\r\n", false, 999},
      {"password only: anonymous too", std::string("LDAPReaderAccountPassword=") +
                                           kReaderPassword + "\r\n", false, 999},
      {"no account", "", false, 999},
      {"wrong password", std::string("LDAPReaderAccountName=") + kReaderDn +
                             "\r\nLDAPReaderAccountPassword=falsch\r\n", false, -2147023570},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::string log = RunLogged("LDAPBaseObjectDN=" + Base(kTechnik) + "\r\n" + row.account,
                                "LastName=*sn\r\n", "/ADUSER:eberg");
    EXPECT_EQ(log.find(Dump({{"LastName", "Berg"}})) != std::string::npos, row.found) << log;
    if (row.error == 999) {
      EXPECT_TRUE(Has(log, "TS Fehler 999: Benutzer 'eberg' im Active-Directory nicht gefunden!\r\n")) << log;
    } else if (row.error != 0) {
      const char* text = Linux() ? "Invalid credentials" : "Anmeldeinformationen fehlerhaft";
      EXPECT_TRUE(Has(log, "TS AD -> ...LDAP-Abfragezeichenfolge: " +
                               Query(Base(kTechnik), "eberg", "sn") + "\r\nTS Fehler " +
                               std::to_string(row.error) + ": " + text + "\r\n")) << log;
    }
  }
}

TEST_P(DirectoryTest, SignTypesOfTheBaseAndOfTheEntry) {
  // Lowest to highest: the fixed setting, the base's setting, the entry's attribute.
  struct Row {
    const char* name;
    std::string settings;
    std::string mapping;
    const char* dnLine;       // "...DN-abhängige SignTypes" value
    const char* dnReplyLine;  // "...DN-abhängige SignTypes für Antworten" value
    const char* signType;     // in the sign type dump
    const char* signTypeReply;
  };
  const std::string fixed = "FixedSignType=Fest\r\nFixedSignTypeReply=FestAntwort\r\n";
  const std::string forDn = "FixedSignTypeForDN1=  Zentrale \r\nFixedSignTypeReplyForDN1=ZentraleAntwort\r\n";
  const Row rows[] = {
      {"fixed only, attribute null", fixed, "SignType=*title\r\n", "fest", "festantwort", "fest",
       "festantwort"},
      {"base replaces fixed, attribute null", fixed + forDn, "SignType=*title\r\n", "Zentrale",
       "ZentraleAntwort", "Zentrale", "ZentraleAntwort"},
      {"base sign type alone empties the reply", fixed + "FixedSignTypeForDN1=Zentrale\r\n",
       "SignType=*title\r\n", "Zentrale", "", "Zentrale", ""},
      {"attribute beats base and empties the reply", fixed + forDn, "SignType=*department\r\n",
       "Zentrale", "ZentraleAntwort", "vertrieb", ""},
      {"attributes for both", fixed + forDn,
       "SignType=*department\r\nSignTypeReply=*company\r\n", "Zentrale", "ZentraleAntwort",
       "vertrieb", "quillmark gmbh"},
      {"settings of another base are not read", fixed + "FixedSignTypeForDN2=Zwei\r\n",
       "SignType=*title\r\n", "fest", "festantwort", "fest", "festantwort"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    // A null attribute: Erika Berg has no title. Max Mustermann has a department
    // and a company. Either way the user's base is base 1.
    bool nullAttribute = row.mapping.find("title") != std::string::npos;
    std::string log = RunLogged(
        "LDAPBaseObjectDN=" + Base(nullAttribute ? kTechnik : kVertrieb) + "\r\n" + Reader() +
            row.settings,
        row.mapping + "LastName=*sn\r\n", nullAttribute ? "/ADUSER:eberg" : "/ADUSER:mmuster");
    EXPECT_TRUE(Has(log, std::string("TS AD -> ...DN-abhängige SignTypes: ") + row.dnLine + "\r\n"))
        << log;
    EXPECT_TRUE(Has(log, std::string("TS AD -> ...DN-abhängige SignTypes für Antworten: ") +
                             row.dnReplyLine + "\r\n"))
        << log;
    EXPECT_TRUE(Has(log, std::string("TS Ermittelte SignTypes: \r\nSignType=") + row.signType +
                             "\r\nSignTypeReply=" + row.signTypeReply + "\r\n"))
        << log;
  }
}

TEST_P(DirectoryTest, ConfigurationErrors) {
  struct Row {
    const char* name;
    std::string main;
    std::string mapping;
    std::string error;
  };
  const Row rows[] = {
      {"no bases", Reader(), "LastName=*sn\r\n",
       "TS AD -> Ermittle DN's\r\n"
       "TS Fehler 999: Keine Active-Directory-DN's in 'LDAPBaseObjectDN' konfiguriert!\r\n"},
      {"broken filter", "LDAPBaseObjectDN=" + Base(kVertrieb) + "\r\n" + Reader() +
                            "LDAPFilter=(objectClass=user\r\n",
       "LastName=*sn\r\n", "TS Fehler -2147016642: "},
      {"base that does not exist",
       "LDAPBaseObjectDN=" + Base("ou=Nirgendwo,dc=quillmark,dc=test") + "\r\n" + Reader(),
       "LastName=*sn\r\n", "TS Fehler -2147016656: "},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    RunResult r;
    std::string log = RunLogged(row.main, row.mapping, "/ADUSER:mmuster", &r);
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_TRUE(Has(log, row.error)) << log;
    EXPECT_EQ(log.find("Ermittelte Benutzerdaten"), std::string::npos) << log;
  }
  // A mapping to "*" alone asks for an attribute without a name, which the
  // result does not have.
  std::string log = RunLogged("LDAPBaseObjectDN=" + Base(kVertrieb) + "\r\n" + Reader(),
                              "LastName=*sn\r\nUserDef1=*\r\n", "/ADUSER:mmuster");
  EXPECT_TRUE(Has(log, "...Abzufragende Attributliste: sn,\r\n")) << log;
  EXPECT_TRUE(Has(log, "TS Fehler 3265: Das Objekt in der Auflistung")) << log;
}

TEST_P(DirectoryTest, ServerThatIsDown) {
  std::string down = "127.0.0.1:" + std::to_string(FreeLoopbackPort());
  RunResult r;
  std::string log = RunLogged("LDAPBaseObjectDN=" + down + "/" + kVertrieb + "\r\n" + Reader(),
                              "LastName=*sn\r\n", "/ADUSER:mmuster", &r);
  EXPECT_EQ(r.exitCode, 1) << r.output;
  EXPECT_TRUE(Has(log, "TS AD -> Verbindung: OK\r\n")) << "opening does not contact the server\n" << log;
  const char* text = Linux() ? "Can't contact LDAP server" : "Server heruntergefahren";
  EXPECT_TRUE(Has(log, "TS Fehler -2147016646: " + std::string(text) + "\r\n")) << log;
  EXPECT_TRUE(Has(log, "TS ********** Ende \r\n")) << log;
}

TEST_P(DirectoryTest, ServerThatNeverAnswers) {
  // It accepts the connection and reads nothing: the bind (linux) or the first
  // request (windows) waits for the time limit.
  SilentServer silent;
  RunResult r;
  std::string log = RunLogged("LDAPBaseObjectDN=" + silent.Server() + "/" + kVertrieb + "\r\n" +
                                  Reader(),
                              "LastName=*sn\r\n", "/ADUSER:mmuster", &r, {}, 90);
  EXPECT_FALSE(r.timedOut);
  EXPECT_EQ(r.exitCode, 1) << r.output;
  // 30 s of the time limit, plus the start of the program (and of Wine).
  EXPECT_GE(r.seconds, 29.0);
  EXPECT_LT(r.seconds, Linux() ? 35.0 : 45.0);
  const char* text = Linux() ? "Timed out" : "Zeitüberschreitung";
  EXPECT_TRUE(Has(log, "TS Fehler -2147023436: " + std::string(text) + "\r\n")) << log;
}

INSTANTIATE_TEST_SUITE_P(Builds, DirectoryTest, BothBuilds(), BuildParamName);

}  // namespace
}  // namespace qmtest
