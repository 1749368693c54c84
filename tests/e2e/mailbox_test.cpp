// Whole runs of both builds with a signature set per mailbox (MailboxSignatures=1)
// against the test slapd, on Outlook 2007 and 2016 profiles with the user's own
// Exchange account, the shared mailbox vertrieb@ (Exchange style: named by its
// address), a POP/IMAP account whose address is in "Email" and which the
// directory does not know, an address with a character no file name may hold,
// and an account without values. Bases as in the directory tests: bare on
// linux (LDAPURI), with the server in front under Wine.
#include <regex>
#include <set>

#include "../common/slapd_server.h"
#include "harness.h"

namespace qmtest {
namespace {

const std::string kProfiles =
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging "
    "Subsystem\\Profiles";

/// A .reg value of text: a string (2016) or 16-bit text in binary data with its terminator.
std::string Text(const std::string& text, bool string) {
  if (string) return "\"" + text + "\"";
  std::string out = "hex:";
  for (char c : text) out += {"0123456789abcdef"[(c >> 4) & 15], "0123456789abcdef"[c & 15], ',', '0', '0', ','};
  return out + "00,00";
}

struct Machine {
  int version;
  std::string accounts;  // the account key
  bool strings;          // names kept as strings (2016) or as 16-bit bytes
};

Machine Outlook(int version) {
  if (version == 16) {
    return {16, "HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\16.0\\Outlook\\Profiles\\Outlook\\"
                "9375CFF0413111d3B88A00104B2A6676", true};
  }
  return {12, kProfiles + "\\Outlook\\9375CFF0413111d3B88A00104B2A6676", false};
}

/// A profile of accounts 00000002, 00000003, ... in list order, each with the
/// values of its entry ("" for none).
std::string Profile(const Machine& m, const std::vector<std::string>& values) {
  const std::string profiles = m.version == 16 ? "HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\16.0\\Outlook"
                                               : kProfiles;
  std::string list, keys;
  for (size_t i = 0; i < values.size(); ++i) {
    char key[9];
    std::snprintf(key, sizeof key, "%08X", static_cast<unsigned>(i + 2));
    list += std::string(list.empty() ? "" : ",") + "00,00,00," + std::string(key + 6, 2);
    keys += "[" + m.accounts + "\\" + key + "]\r\n" + values[i] + "\r\n";
  }
  return "[HKEY_CLASSES_ROOT\\Outlook.Application\\CurVer]\r\n@=\"Outlook.Application." +
         std::to_string(m.version) + "\"\r\n\r\n[" + profiles + "]\r\n\"DefaultProfile\"=\"Outlook\"\r\n\r\n[" +
         m.accounts + "]\r\n\"{ED475418-B0D6-11D2-8C3B-00104B2A6676}\"=hex:" + list + "\r\n\r\n" + keys;
}

/// An account named by its address (Exchange style).
std::string Named(const std::string& address, const Machine& m) {
  return "\"Account Name\"=" + Text(address, m.strings) + "\r\n";
}

/// The profile: the user's account, the shared mailbox, a POP account, an
/// address with "/", an account without values.
std::string Profile(const Machine& m) {
  return Profile(m, {Named("max.mustermann@quillmark.test", m), Named("vertrieb@quillmark.test", m),
                     Named("Privat", m) + "\"Email\"=" + Text("max@privat.example", m.strings) + "\r\n",
                     Named("info/nord@quillmark.test", m), ""});
}

class Mailboxes : public ::testing::TestWithParam<Build> {
 protected:
  void SetUp() override {
    if (!server_) server_ = std::make_unique<TestSlapd>(QM_TEST_TMP);
    sb_.Templates("standard", Ansi("@LASTNAME@ für @MAILBOX_LASTNAME@ @MAILBOX_PHONE@\r\n"));
    sb_.Templates("team", "Team @MAILBOX_LASTNAME@ i. A. @LASTNAME@\r\n");
    sb_.Templates("antwort", "Antwort @LASTNAME@\r\n");
    sb_.Templates("kurz", "Kurz @MAILBOX_PHONE@\r\n");
  }
  static void TearDownTestSuite() { server_.reset(); }

  bool Linux() const { return GetParam() == Build::Linux; }

  /// The bases as the build names them: bare on linux, with the server in front under Wine.
  std::string Bases(const std::vector<std::string>& dns) const {
    std::string bases;
    for (const std::string& dn : dns)
      bases += (bases.empty() ? "" : ";") + (Linux() ? "" : server_->Server() + "/") + dn;
    return bases;
  }

  /// A logged run of mmuster with the main lines and the sections after the mapping.
  RunResult Run(const std::string& main, const std::string& sections, const std::string& args = "",
                const std::string& bases = kDirectorySuffix) {
    sb_.Configure("FixedSignType=standard\r\nFixedSignTypeReply=antwort\r\nLDAPBaseObjectDN=" + Bases({bases}) +
                      "\r\nLDAPReaderAccountName=" + kReaderDn + "\r\nLDAPReaderAccountPassword=" +
                      kReaderPassword + "\r\n" + main,
                  "LastName=*sn\r\nPhone=*telephoneNumber\r\n" + sections);
    Env env;
    if (Linux())
      env = {{"LDAPURI", server_->Uri()}, {"LDAPCONF", "/dev/null"}, {"LDAPRC", "quillmark-test-none"}};
    return sb_.RunLogged("/ADUSER:mmuster " + args, env);
  }

  /// The registry's values below the account key.
  std::map<std::string, std::string> Accounts(const Machine& m) const {
    std::string text = sb_.Read("registry.reg");
    if (!Linux()) {
      const RunResult r = sb_.Wine({"reg", "export", "HKEY_CURRENT_USER\\Software\\Microsoft",
                                    sb_.Win("export.reg"), "/y"});
      EXPECT_EQ(r.exitCode, 0) << r.output;
      text = sb_.Read("export.reg");
    }
    return RegValues(text, {m.accounts});
  }

  static inline std::unique_ptr<TestSlapd> server_;
  Sandbox sb_{GetParam()};
};

const std::string kRules =
    "[Rule1]\r\nMailbox=vertrieb@*;team@*\r\nSignType=team\r\n"
    "[Rule2]\r\nMemberOf=Geteilte-Postfaecher\r\nSignTypeReply=kurz\r\n"
    "[Account1]\r\nName=priv*\r\nNewSignature=Standard (max@privat.example)\r\n";

TEST_P(Mailboxes, EachMailboxItsOwnSignaturesAndDefaults) {
  for (int version : {12, 16}) {
    SCOPED_TRACE(version);
    const Machine m = Outlook(version);
    std::filesystem::remove_all(sb_.Path("app"));
    sb_.SeedRegistry(Profile(m));
    const RunResult r = Run(std::string("MailboxSignatures=1\r\nEmptySignatureFolder=2\r\n") +
                                (version == 16 ? "ModernOutlook=1\r\n" : ""),
                            kRules);
    const std::string log = sb_.Log();
    ASSERT_EQ(r.exitCode, 0) << log;
    for (const char* line :
         {"TS Ermittle Postfächer\r\nTS ...Postfach: max.mustermann@quillmark.test (max.mustermann@quillmark.test)\r\n"
          "TS ...Postfach: vertrieb@quillmark.test (vertrieb@quillmark.test)\r\n"
          "TS ...Postfach: max@privat.example (Privat)\r\n"
          "TS ...Postfach: info/nord@quillmark.test (info/nord@quillmark.test)\r\n",
          "TS AD -> Suche Postfach: vertrieb@quillmark.test\r\n"
          "TS AD -> ...Postfach gefunden: cn=Team Vertrieb,ou=Vertrieb,dc=quillmark,dc=test\r\n"
          "TS AD -> ...Gruppen: Geteilte-Postfaecher\r\n",
          "TS AD -> ...Postfach nicht gefunden: max@privat.example\r\n",
          "TS ...Regel 1 für vertrieb@quillmark.test: trifft zu\r\n"
          "TS ...Regel 2 für vertrieb@quillmark.test: trifft zu\r\n",
          "TS ...Regel 1 für max.mustermann@quillmark.test: trifft nicht zu\r\n",
          "TS Verarbeite Postfach: vertrieb@quillmark.test\r\n"
          "TS Verarbeite 1. Standardsignatur: team > team (vertrieb@quillmark.test)\r\n"}) {
      EXPECT_NE(log.find(Ansi(line)), std::string::npos) << line << "\n" << log;
    }
    // The user's own set as today, with the user's data as the mailbox's; each
    // mailbox's set with its own, the sender's beside it.
    const Tree files = ReadTree(sb_.Path("app/Microsoft/Signatures"));
    const std::map<std::string, std::string> texts = {
        {"standard.txt", "Mustermann für Mustermann +49 30 1234-100\r\n"},
        {"antwort.txt", "Antwort Mustermann\r\n"},
        {"standard (max.mustermann@quillmark.test).txt", "Mustermann für Mustermann +49 30 1234-100\r\n"},
        {"antwort (max.mustermann@quillmark.test).txt", "Antwort Mustermann\r\n"},
        {"team (vertrieb@quillmark.test).txt", "Team Team Vertrieb i. A. Mustermann\r\n"},
        {"kurz (vertrieb@quillmark.test).txt", "Kurz +49 30 1234-500\r\n"},
        {"standard (max@privat.example).txt", "Mustermann für  \r\n"},
        {"antwort (max@privat.example).txt", "Antwort Mustermann\r\n"},
        {"standard (info_nord@quillmark.test).txt", "Mustermann für  \r\n"},
        {"antwort (info_nord@quillmark.test).txt", "Antwort Mustermann\r\n"},
    };
    std::map<std::string, std::string> written;
    for (const auto& [name, bytes] : files) {
      if (name.ends_with(".txt")) written[name] = Convert(bytes, "WINDOWS-1252", "UTF-8");
    }
    EXPECT_EQ(written, texts);
    EXPECT_EQ(files.size(), 3 * texts.size());

    // Every account with an address its own names; the section still wins
    // and names a suffixed signature; the account without values is left alone.
    const auto values = Accounts(m);
    const auto key = [&](const char* account, const char* name) {
      std::string k = m.accounts + "\\" + account + "|\"" + name + "\"";
      std::transform(k.begin(), k.end(), k.begin(), ::toupper);
      return values.contains(k) ? values.at(k) : "(none)";
    };
    const struct {
      const char* account;
      std::string newName, replyName;
    } defaults[] = {
        {"00000002", "standard (max.mustermann@quillmark.test)", "antwort (max.mustermann@quillmark.test)"},
        {"00000003", "team (vertrieb@quillmark.test)", "kurz (vertrieb@quillmark.test)"},
        {"00000004", "standard (max@privat.example)", "antwort (max@privat.example)"},
        {"00000005", "standard (info_nord@quillmark.test)", "antwort (info_nord@quillmark.test)"},
    };
    for (const auto& d : defaults) {
      EXPECT_EQ(key(d.account, "New Signature"), Text(d.newName, m.strings)) << d.account;
      EXPECT_EQ(key(d.account, "Reply-Forward Signature"), Text(d.replyName, m.strings)) << d.account;
    }
    EXPECT_EQ(key("00000006", "New Signature"), "(none)");
  }
}

TEST_P(Mailboxes, OneMailboxsFactsNeverStopTheRun) {
  // A base that another domain holds, two addresses that would give the same
  // file name, an account section for a mailbox this user does not have: the
  // user's run goes on, with one line about it.
  const Machine m = Outlook(12);
  const std::string user = "max.mustermann@quillmark.test";
  const std::vector<std::string> own = {"standard.txt", "antwort.txt", "standard (" + user + ").txt",
                                        "antwort (" + user + ").txt"};
  const struct {
    const char* name;
    std::vector<std::string> accounts, bases, lines;
    std::string sections;
    std::vector<std::string> files;                // besides the user's own set
    std::map<std::string, std::string> defaults;  // account: its "New Signature"
  } rows[] = {
      {"a mailbox the first base lacks and the second refers elsewhere",
       {Named(user, m), Named("vertrieb@quillmark.test", m), Named("filiale@quillmark.test", m)},
       {kVertrieb, std::string("ou=Zweigstelle,") + kDirectorySuffix},
       {"TS AD -> ...Postfach gefunden: cn=Team Vertrieb,ou=Vertrieb,dc=quillmark,dc=test\r\n",
        "TS AD -> ...Postfach nicht gefunden: filiale@quillmark.test\r\n"},
       "",
       {"standard (vertrieb@quillmark.test).txt", "antwort (vertrieb@quillmark.test).txt",
        "standard (filiale@quillmark.test).txt", "antwort (filiale@quillmark.test).txt"},
       {{"00000004", "standard (filiale@quillmark.test)"}}},
      {"two addresses that differ only where a file name cannot hold them, and in case",
       {Named(user, m), Named("info/nord@quillmark.test", m), Named("INFO_Nord@quillmark.test", m)},
       {kDirectorySuffix},
       {"TS ...Postfach ohne eigene Signaturen (gleicher Dateiname wie info/nord@quillmark.test): "
        "INFO_Nord@quillmark.test\r\n"},
       "",
       {"standard (info_nord@quillmark.test).txt", "antwort (info_nord@quillmark.test).txt"},
       {{"00000003", "standard (info_nord@quillmark.test)"}, {"00000004", "standard"}}},
      {"an account section for a mailbox this user does not have",
       {Named(user, m)},
       {kDirectorySuffix},
       {"TS -> Prüfe Konto-Abschnitte\r\n"},
       kRules,
       {},
       {{"00000002", "standard (" + user + ")"}}},
  };
  Env env;
  if (Linux()) env = {{"LDAPURI", server_->Uri()}, {"LDAPCONF", "/dev/null"}, {"LDAPRC", "quillmark-test-none"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    std::filesystem::remove_all(sb_.Path("app"));
    sb_.SeedRegistry(Profile(m, row.accounts));
    sb_.Configure("FixedSignType=standard\r\nFixedSignTypeReply=antwort\r\nMailboxSignatures=1\r\nLDAPBaseObjectDN=" +
                      Bases(row.bases) + "\r\nLDAPReaderAccountName=" + kReaderDn +
                      "\r\nLDAPReaderAccountPassword=" + kReaderPassword + "\r\n",
                  "LastName=*sn\r\n" + row.sections);
    const RunResult r = sb_.RunLogged("/ADUSER:mmuster", env);
    const std::string log = sb_.Log();
    ASSERT_EQ(r.exitCode, 0) << log;
    EXPECT_EQ(log.find("Fehler"), std::string::npos) << log;
    for (const std::string& line : row.lines) EXPECT_NE(log.find(Ansi(line)), std::string::npos) << line << "\n" << log;
    std::set<std::string> expected(own.begin(), own.end()), written;
    expected.insert(row.files.begin(), row.files.end());
    for (const auto& [name, bytes] : ReadTree(sb_.Path("app/Microsoft/Signatures")))
      if (name.ends_with(".txt")) written.insert(name);
    EXPECT_EQ(written, expected);
    const auto values = Accounts(m);
    for (const auto& [account, name] : row.defaults) {
      std::string k = m.accounts + "\\" + account + "|\"NEW SIGNATURE\"";
      std::transform(k.begin(), k.end(), k.begin(), ::toupper);
      EXPECT_EQ(values.contains(k) ? values.at(k) : "(none)", Text(name, m.strings)) << account;
    }
  }
}

TEST_P(Mailboxes, TheCheckSeesEachMailbox) {
  // /CHECK reads the profile's mailboxes as a run reads them and searches each
  // in the directory: one the directory lacks is a warning (the run goes on),
  // two addresses of one file name a note naming both.
  const Machine m = Outlook(12);
  sb_.SeedRegistry(Profile(m, {Named("max.mustermann@quillmark.test", m), Named("vertrieb@quillmark.test", m),
                               Named("filiale@quillmark.test", m), Named("info/nord@quillmark.test", m),
                               Named("INFO_Nord@quillmark.test", m)}));
  sb_.Configure("FixedSignType=standard\r\nMailboxSignatures=1\r\nLDAPBaseObjectDN=" + Bases({kDirectorySuffix}) +
                    "\r\nLDAPReaderAccountName=" + kReaderDn + "\r\nLDAPReaderAccountPassword=" +
                    kReaderPassword + "\r\n",
                "LastName=*sn\r\n");
  Env env = {{"QM_APPDATA", sb_.Win("app")}};
  if (Linux()) env.insert({{"LDAPURI", server_->Uri()}, {"LDAPCONF", "/dev/null"}, {"LDAPRC", "quillmark-test-none"}});
  const RunResult r = sb_.Run("/CHECK /INI:" + sb_.Win("cfg/site.ini") + " /ADUSER:mmuster", env);
  const std::string report =
      std::regex_replace(Linux() ? r.output : Convert(r.output, "CP850", "UTF-8"), std::regex("\r\n"), "\n");
  for (const std::string line :
       {"Hinweis: Postfach 'INFO_Nord@quillmark.test': Bekommt keine eigenen Signaturen: ihre Dateien hießen wie "
        "die von 'info/nord@quillmark.test'; das Konto behält die Signaturen des Benutzers\n",
        "Hinweis: Postfach 'vertrieb@quillmark.test': Gefunden: cn=Team Vertrieb,ou=Vertrieb,dc=quillmark,dc=test\n",
        "Hinweis: Postfach 'max.mustermann@quillmark.test': Gefunden: "
        "cn=Max Mustermann,ou=Vertrieb,dc=quillmark,dc=test\n",
        "Warnung: Postfach 'filiale@quillmark.test': Kein Eintrag mit dieser Adresse (mail oder proxyAddresses) "
        "unter 'LDAPBaseObjectDN'; das Postfach hat keine eigenen Werte aus dem Active Directory\n",
        "Warnung: Postfach 'info/nord@quillmark.test': Kein Eintrag"}) {
    EXPECT_NE(report.find(line), std::string::npos) << line << "\n" << report;
  }
  EXPECT_TRUE(report.ends_with("Prüfung beendet: 0 Fehler, 2 Warnungen\n")) << report;
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_FALSE(sb_.Exists("app/Microsoft/Signatures"));
}

TEST_P(Mailboxes, PreviewPageHasASectionPerMailbox) {
  const Machine m = Outlook(16);
  sb_.SeedRegistry(Profile(m));
  const RunResult r = Run("MailboxSignatures=1\r\nModernOutlook=1\r\n", kRules, "/SIMULATE:vorschau");
  ASSERT_EQ(r.exitCode, 0) << sb_.Log();
  const std::string dom = Chromium(sb_.Path("cfg/vorschau/index.htm"), sb_.Path("chromium"));
  for (const char* text : {"Postfach vertrieb@quillmark.test", "cn=Team Vertrieb,ou=Vertrieb,dc=quillmark,dc=test",
                           "Postfach max@privat.example", "nicht gefunden",
                           "team%20%28vertrieb%40quillmark.test%29.htm",
                           "standard%20%28info_nord%40quillmark.test%29.htm"}) {
    EXPECT_NE(dom.find(text), std::string::npos) << text;
  }
  EXPECT_FALSE(sb_.Exists("app/Microsoft/Signatures"));
}

TEST_P(Mailboxes, WithoutTheKeyTheRunIsTodays) {
  // MAILBOX_ names are plain text, no mailbox is looked for, and only the
  // default account gets the user's own names.
  const Machine m = Outlook(12);
  sb_.SeedRegistry(Profile(m));
  const RunResult r = Run("", "");
  const std::string log = sb_.Log();
  ASSERT_EQ(r.exitCode, 0) << log;
  EXPECT_EQ(log.find("Postf"), std::string::npos) << log;
  EXPECT_EQ(sb_.Read("app/Microsoft/Signatures/standard.txt"),
            Ansi("Mustermann für @MAILBOX_LASTNAME@ @MAILBOX_PHONE@\r\n"));
  EXPECT_EQ(ReadTree(sb_.Path("app/Microsoft/Signatures")).size(), 6u);
  const auto values = Accounts(m);
  EXPECT_EQ(values.size(), 8u);  // five Account Names, one Email, the two default names
}

TEST_P(Mailboxes, HostileAccounts) {
  // 200 accounts: addresses with what a filter must escape, one longer than any
  // address, an "Email" that is no text, a name with a NUL in its bytes (read
  // as the accounts' list reads every name: the zero bytes skipped).
  const Machine m = Outlook(12);
  std::string list, keys;
  const std::string hostile[] = {"a*(b)\\c@quillmark.test", "na\"me<a>|?:*/@firma.example",
                                 std::string(1000, 'x') + "@quillmark.test"};
  for (int i = 0; i < 200; ++i) {
    char key[9];
    std::snprintf(key, sizeof key, "%08X", 0x100 + i);
    list += std::string(list.empty() ? "" : ",") + std::string(key, 2) + "," + std::string(key + 2, 2) + "," +
            std::string(key + 4, 2) + "," + std::string(key + 6, 2);
    std::string values = "\"Account Name\"=" +
                         Text(i < 3 ? hostile[i] : "user" + std::to_string(i) + "@quillmark.test", false);
    if (i == 3) values = "\"Account Name\"=" + Text("Keine Zahl", false) + "\r\n\"Email\"=dword:00000001";
    if (i == 4) values = "\"Account Name\"=hex:6e,00,00,00,6d,00,40,00,78,00";
    keys += "[" + m.accounts + "\\" + key + "]\r\n" + values + "\r\n\r\n";
  }
  sb_.SeedRegistry("[HKEY_CLASSES_ROOT\\Outlook.Application\\CurVer]\r\n@=\"Outlook.Application.12\"\r\n\r\n[" +
                   kProfiles + "]\r\n\"DefaultProfile\"=\"Outlook\"\r\n\r\n[" + m.accounts +
                   "]\r\n\"{ED475418-B0D6-11D2-8C3B-00104B2A6676}\"=hex:" + list + "\r\n\r\n" + keys);
  const RunResult r = Run("MailboxSignatures=1\r\n", "");
  const std::string log = sb_.Log();
  EXPECT_EQ(r.exitCode, 0) << log;
  for (const std::string& line : std::vector<std::string>{
           "TS AD -> ...Postfach nicht gefunden: a*(b)\\c@quillmark.test\r\n",
        // The log shows a "|" as it shows every label's: ": ".
        "TS ...Postfach: na\"me<a>: ?:*/@firma.example (na\"me<a>: ?:*/@firma.example)\r\n",
        "TS ...Postfach übersprungen (keine gültige Adresse): " + std::string(1000, 'x') + "@quillmark.test\r\n",
        "TS ...Postfach übersprungen (Wert 'Email' ist kein Text): Keine Zahl\r\n",
        "TS ...Postfach: nm@x (nm@x)\r\n",
        "TS AD -> ...Postfach nicht gefunden: user199@quillmark.test\r\n"}) {
    EXPECT_NE(log.find(Ansi(line)), std::string::npos) << line;
  }
  // Every file in the signature folder itself: 198 mailboxes and the user's
  // own set, two signatures each; a name's characters that a file cannot hold as "_".
  const Tree files = ReadTree(sb_.Path("app"));
  EXPECT_EQ(files.size(), 2 + (199 * 2 * 3));
  EXPECT_TRUE(files.contains("Microsoft/Signatures/standard (na_me_a______@firma.example).htm"));
  for (const auto& [name, bytes] : files) {
    EXPECT_TRUE(name.ends_with("/") ||
                (name.starts_with("Microsoft/Signatures/") &&
                 name.find('/', std::string("Microsoft/Signatures/").size()) == std::string::npos))
        << name;
  }
}

TEST_P(Mailboxes, OutlookXpIgnoresThem) {
  // One default for all accounts: no mailbox is looked for, the user's own set is registered.
  sb_.SeedRegistry("[HKEY_CLASSES_ROOT\\Outlook.Application\\CurVer]\r\n@=\"Outlook.Application.10\"\r\n");
  const RunResult r = Run("MailboxSignatures=1\r\n", "");
  const std::string log = sb_.Log();
  EXPECT_EQ(r.exitCode, 0) << log;
  EXPECT_EQ(log.find("Ermittle Postf"), std::string::npos) << log;
  EXPECT_NE(log.find(Ansi("TS -> Postfach-Signaturen ignoriert: Outlook XP kennt nur eine Standard-Signatur für "
                          "alle Konten\r\n")),
            std::string::npos)
      << log;
  EXPECT_EQ(ReadTree(sb_.Path("app/Microsoft/Signatures")).size(), 6u);
}

TEST_P(Mailboxes, RefusedWithoutADirectory) {
  sb_.SeedRegistry(Profile(Outlook(12)));
  sb_.Configure("FixedSignType=standard\r\nMailboxSignatures=1\r\n");
  const RunResult r = sb_.RunLogged();
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(sb_.Log().find("TS Fehler 999: 'MailboxSignatures' braucht das Active Directory, doch in "
                           "'LDAPBaseObjectDN' ist kein DN konfiguriert\r\n"),
            std::string::npos)
      << sb_.Log();
  EXPECT_FALSE(sb_.Exists("app/Microsoft/Signatures/standard.txt"));
}

INSTANTIATE_TEST_SUITE_P(Builds, Mailboxes, BothBuilds(), BuildParamName);

}  // namespace
}  // namespace qmtest
