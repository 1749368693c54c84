// Whole runs of both builds with /SIMULATE, the preview of a user's signatures.
// A preview is the real run written elsewhere: the same log but for its two
// lines and its folder, the same files, and in registry.reg the values the real
// run sets, which reg import (Wine) or an import into the registry file
// (linux) turns into the same registry. It changes nothing outside its folder
// and the log: not the registry (the registry file's bytes on linux, reg export
// under Wine), not the application-data folder, not the configuration file.
#include <regex>
#include <sstream>

#include "../common/slapd_server.h"
#include "harness.h"
#include "platform/common/text.h"

namespace qmtest {
namespace {

namespace fs = std::filesystem;

const std::string kProfiles =
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging "
    "Subsystem\\Profiles";
const std::string kAccounts = kProfiles + "\\B[|\x7Fro\\9375CFF0413111d3B88A00104B2A6676";
const std::string kRegHeader = "Windows Registry Editor Version 5.00\r\n\r\n";

// An Outlook 2007 machine: the default profile Büro lists account 3 before account 2.
const std::string kOutlook2007 =
    "[HKEY_CLASSES_ROOT\\Outlook.Application\\CurVer]\r\n@=\"Outlook.Application.12\"\r\n\r\n[" +
    kProfiles + "]\r\n\"DefaultProfile\"=\"Büro\"\r\n\r\n[" + kAccounts +
    "]\r\n\"{ED475418-B0D6-11D2-8C3B-00104B2A6676}\"=hex:00,00,00,03,00,00,00,02\r\n\r\n[" +
    kAccounts + "\\00000002]\r\n\"Account Name\"=hex:45,00,72,00,69,00,6b,00,61,00,00,00\r\n\r\n[" +
    kAccounts +
    "\\00000003]\r\n\"Account Name\"=hex:56,00,65,00,72,00,74,00,72,00,69,00,65,00,62,00,00,00\r\n";

// What the preview's registry.reg holds after a run of that machine: one block
// per account in the order they were written (the list's), a name long enough
// for reg export to wrap its bytes. Target names in lower case, so that images
// go with them.
const std::string kWrittenFor2007 = [] {
  const std::string names =
      "\"New Signature\"=hex:73,00,74,00,61,00,6e,00,64,00,61,00,72,00,64,00,73,00,69,\\\r\n"
      "  00,67,00,6e,00,61,00,74,00,75,00,72,00,2d,00,76,00,65,00,72,00,74,00,72,00,\\\r\n"
      "  69,00,65,00,62,00,00,00\r\n"
      "\"Reply-Forward Signature\"=hex:61,00,6e,00,74,00,77,00,6f,00,72,00,74,00,00,00\r\n\r\n";
  return kRegHeader + "[" + kAccounts + "\\00000003]\r\n" + names + "[" + kAccounts +
         "\\00000002]\r\n" + names;
}();

class Simulate : public ::testing::TestWithParam<Build> {
 protected:
  void SetUp() override {
    sb_.Templates("standard", Ansi("@FIRSTNAME@ @LASTNAME@ <@CITY@> & Co\r\n@STREET@\r\n"));
    sb_.Templates("kurz", "-- @LASTNAME@, kurz\r\n");
    sb_.Templates("antwort", Ansi("Gruß, @FIRSTNAME@\r\n"));
    sb_.Write("cfg/Vorlagen/standardsignatur-vertrieb_logo.gif", "GIF89a logo");
    sb_.Write("cfg/Vorlagen/antwort.jpg", "JFIF antwort");
    // EmptySignatureFolder=2 deletes it for real.
    sb_.Write("app/Microsoft/Signatures/alt.htm", "alt");
    sb_.Sqlite("daten/benutzer.db",
               "CREATE TABLE Benutzer (Benutzername text, Vorname text, Nachname text, Ort text);\n"
               "INSERT INTO Benutzer VALUES ('" + sb_.UserName() + "', 'Jörg', 'Bäcker', 'Köln');\n");
  }

  bool Linux() const { return GetParam() == Build::Linux; }

  /// The configuration: the database's user, new-message and reply signatures,
  /// every account, the signature folder emptied; `main` and `mapping` add or
  /// override keys of [Main] and [FieldMapping] (the first of a duplicate key counts).
  void Configure(const std::string& main = "", const std::string& mapping = "") const {
    const std::string db = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + sb_.Win("daten/benutzer.db");
    sb_.Configure(main +
                      "FixedSignType=standard\r\nTargetSignType=standardsignatur-vertrieb\r\n"
                      "FixedSignTypeReply=antwort\r\nTargetSignTypeReply=antwort\r\n"
                      "EmptySignatureFolder=2\r\nSetForAllEMailAccounts=1\r\nDatabaseConnection=" + db +
                      "\r\nUserSelect=SELECT * FROM Benutzer WHERE Benutzername = '%USERNAME%'\r\n",
                  mapping + "FirstName=Vorname\r\nLastName=Nachname\r\nCity=Ort\r\n");
  }

  /// A run of that configuration; returns the log, time stamps masked.
  std::string Run(const std::string& args, const Env& env = {}) {
    result_ = sb_.RunLogged(args, env);
    EXPECT_FALSE(result_.timedOut) << result_.output;
    return sb_.Log();
  }

  /// Everything of the sandbox outside the preview folder, the log, the
  /// registry file and the home folder (Wine's and the desktop's own).
  Tree Outside(const std::string& preview) const {
    Tree tree = ReadTree(sb_.root());
    std::erase_if(tree, [&preview](const auto& entry) {
      const std::string& path = entry.first;
      return path.starts_with(preview) || path.starts_with("home/") || path == "cfg/run.log" ||
             path == "registry.reg" || path == "export.reg";
    });
    return tree;
  }

  /// A folder's content; empty for a file.
  Tree Folder(const std::string& rel) const {
    return fs::is_directory(sb_.Path(rel)) ? ReadTree(sb_.Path(rel)) : Tree{};
  }

  Sandbox sb_{GetParam()};
  RunResult result_;
};

TEST_P(Simulate, PreviewIsTheRealRunWrittenElsewhere) {
  sb_.SeedRegistry(kOutlook2007);
  Configure();
  const std::string before = sb_.RegistryBytes();
  const Tree outside = Outside("vorschau/");
  const std::string preview = sb_.Win("vorschau/neu"), folder = sb_.Win("app/Microsoft/Signatures");

  const std::string simulated = Run("/SIMULATE:" + preview);
  EXPECT_EQ(result_.exitCode, 0) << simulated;
  EXPECT_EQ(sb_.RegistryBytes(), before);
  EXPECT_EQ(Outside("vorschau/"), outside);  // configuration and AppData included
  const std::string written = sb_.Read("vorschau/neu/registry.reg");
  EXPECT_EQ(written, Utf16Le(kWrittenFor2007));
  // The page: each account's name, each value's line of registry.reg beside the name it holds.
  const std::string dom = Chromium(sb_.Path("vorschau/neu/index.htm"), sb_.Path("chromium"));
  const std::regex row(
      R"(<th>(Konto: [^<]*)</th>|<code>"[-\w ]+"=hex:[0-9a-f,\\\s]+</code></td><td class="text">([^<]*)<)");
  std::string names;
  for (std::sregex_iterator it(dom.begin(), dom.end(), row), end; it != end; ++it)
    names += (*it)[1].str() + (*it)[2].str() + "|";
  EXPECT_EQ(names, "Konto: Vertrieb|standardsignatur-vertrieb|antwort|Konto: Erika|"
                   "standardsignatur-vertrieb|antwort|") << dom;
  std::map<std::string, std::string> imported = RegValues(before);
  if (Linux()) {
    for (const auto& [name, data] : RegValues(written)) imported[name] = data;
  } else {
    EXPECT_EQ(sb_.Wine({"reg", "import", sb_.Win("vorschau/neu/registry.reg")}).exitCode, 0);
    imported = RegValues(sb_.RegistryBytes());
    sb_.SeedRegistry(kOutlook2007);  // the Outlook keys as before the import
  }

  const std::string real = Run("");
  EXPECT_EQ(result_.exitCode, 0) << real;
  EXPECT_EQ(RegValues(sb_.RegistryBytes()), imported);
  Tree files = ReadTree(sb_.Path("vorschau/neu"));
  EXPECT_TRUE(files.erase("index.htm") && files.erase("registry.reg"));
  EXPECT_EQ(files, ReadTree(sb_.Path("app/Microsoft/Signatures")));
  EXPECT_EQ(files.size(), 8u);  // two signatures and their images
  // The same log, but for the files' folder, its line after the start lines
  // and the page's line before the closing one.
  std::string expected = real;
  for (size_t at = 0; (at = expected.find(folder + "\\", at)) != std::string::npos;
       at += preview.size())
    expected.replace(at, folder.size(), preview);
  const std::string logLine = "TS ...Log-Datei: " + sb_.Win("cfg/run.log") + "\r\n";
  expected.insert(expected.find(logLine) + logLine.size(), "TS ...Simulation: " + preview + "\r\n");
  expected.insert(expected.find("TS ********** Ende"),
                  "TS -> Vorschau: " + preview + "\\index.htm\r\n");
  EXPECT_EQ(simulated, expected);
}

TEST_P(Simulate, DirectoryUserOnAPcWithoutOutlookShownOnOnePage) {
  TestSlapd server(QM_TEST_TMP);
  const std::string base = (Linux() ? "" : server.Server() + "/") + kVertrieb;
  Env env;
  if (Linux())
    env = {{"LDAPURI", server.Uri()}, {"LDAPCONF", "/dev/null"}, {"LDAPRC", "quillmark-test-none"}};
  Configure("LDAPBaseObjectDN=" + base + "\r\nLDAPReaderAccountName=" + kReaderDn +
                "\r\nLDAPReaderAccountPassword=" + kReaderPassword +
                "\r\nFixedSignType=standard,kurz\r\nTargetSignType=\r\n",
            "FirstName=*givenName\r\nLastName=*sn\r\nStreet=*streetAddress\r\nCity=*l\r\n");
  const std::string log = Run("/ADUSER:mmuster /SIMULATE:vorschau", env);
  EXPECT_EQ(result_.exitCode, 0) << log;
  // A name without a backslash is a folder beside the configuration file.
  const std::string page = sb_.Win("cfg/vorschau") + "\\index.htm";
  EXPECT_NE(log.find(Ansi("TS ...Outlook-Version: \r\n")), std::string::npos) << log;
  EXPECT_TRUE(
      log.ends_with(Ansi("TS Stelle Standard-Signatur für Outlook  ein\r\nTS -> Vorschau: " + page +
                         "\r\nTS ********** Ende\r\n\r\n")))
      << log;
  EXPECT_EQ(sb_.Read("cfg/vorschau/registry.reg"), Utf16Le(kRegHeader));
  EXPECT_EQ(ReadTree(sb_.Path("app")), (Tree{{"Microsoft/", ""},
                                             {"Microsoft/Signatures/", ""},
                                             {"Microsoft/Signatures/alt.htm", "alt"}}));

  // The page: self-contained, every link a file beside it.
  const std::string html = sb_.Read("cfg/vorschau/index.htm");
  EXPECT_EQ(html.find("<script"), std::string::npos);
  const std::regex link(R"((?:src|href)="([^"]*)\")");
  for (auto it = std::sregex_iterator(html.begin(), html.end(), link); it != std::sregex_iterator();
       ++it) {
    EXPECT_EQ((*it)[1].str().find_first_of(":/\\"), std::string::npos) << (*it)[1];
    EXPECT_TRUE(sb_.Exists("cfg/vorschau/" + (*it)[1].str())) << (*it)[1];
  }
  // What a browser shows: the directory user's name, every heading and every txt.
  const std::string dom = Chromium(sb_.Path("cfg/vorschau/index.htm"), sb_.Path("chromium"));
  const auto escaped = [](std::string s) {
    for (const auto& [c, entity] : {std::pair{"&", "&amp;"}, {"<", "&lt;"}, {">", "&gt;"}})
      s = std::regex_replace(s, std::regex(c), entity);
    return std::regex_replace(s, std::regex("\r\n"), "\n");
  };
  for (const std::string& text :
       {std::string("Signaturvorschau für mmuster"),
        escaped("1. Standardsignatur: standard > standard"),
        escaped("2. Standardsignatur: kurz > kurz"),
        std::string("1. Antwortsignatur: antwort auf antwort"),
        escaped("Max Mustermann <Berlin> & Co\r\nHauptstraße 1\r\n"),
        std::string("-- Mustermann, kurz\n"), std::string("Gruß, Max\n")}) {
    EXPECT_NE(dom.find(text), std::string::npos) << text << "\n" << dom;
  }
  const fs::path png = sb_.Path("chromium-index.png");
  Chromium(sb_.Path("cfg/vorschau/index.htm"), sb_.Path("chromium"), png);
  EXPECT_TRUE(ReadFile(png).starts_with("\x89PNG\r\n")) << png;
}

TEST_P(Simulate, RulesAndAccountsOnThePage) {
  // The page names the day the rules took, each rule's outcome, where the
  // sign types came from and which account got which names.
  sb_.SeedRegistry(kOutlook2007);
  Configure();
  sb_.Write("cfg/site.ini", sb_.Read("cfg/site.ini") +
                                "[Rule1]\r\nUntil=2000-01-01\r\n[Rule2]\r\nCity=k*\r\nSignType=kurz\r\n"
                                "[Account1]\r\nName=vertrieb\r\nNewSignature=antwort\r\n");
  const std::string log = Run("/SIMULATE:vorschau /DATE:2026-12-24");
  EXPECT_EQ(result_.exitCode, 0) << log;
  const std::string dom = Chromium(sb_.Path("cfg/vorschau/index.htm"), sb_.Path("chromium"));
  for (const char* row :
       {"<th>Datum</th><td>24.12.2026</td>", "<th>Regel 1</th><td>trifft nicht zu</td>",
        "<th>Regel 2</th><td>trifft zu</td>", "<th>SignType</th><td>Regel 2: kurz</td>",
        "<th>SignTypeReply</th><td>keine Regel (Einstellungen und Quellen)</td>",
        "<td>Vertrieb</td><td>Account1</td><td>antwort</td><td>antwort</td>",
        "<td>Erika</td><td>—</td><td>standardsignatur-vertrieb</td><td>antwort</td>"}) {
    EXPECT_NE(dom.find(row), std::string::npos) << row << "\n" << dom;
  }
}

// A preview folder that cannot take files ends the run with the file system's
// error before any signature; one that can keeps every file the run does not write.
TEST_P(Simulate, PreviewFolders) {
  sb_.SeedRegistry(kOutlook2007);
  const std::string before = sb_.RegistryBytes();
  struct Row {
    std::string name, preview, error;  // error: "" for a run that finishes
    std::string main = {};
  };
  const std::string placeholder =
      "DatabaseConnection=Provider=Microsoft.Jet.OLEDB.4.0;Data Source=benutzer.mdb;Persist Security Info=False\r\n";
  const std::vector<Row> rows = {
      {"a file of that name", "datei", "TS Fehler 76: Pfad nicht gefunden\r\n"},
      {"a folder below a read-only one", "nurlesen/neu", "TS Fehler 70: Zugriff verweigert\r\n"},
      {"inside Outlook's signature folder, beside old files", "app/Microsoft/Signatures/vorschau",
       ""},
      {"the Jet placeholder stays in the configuration file", "jet",
       "TS Fehler -2147467259: Die Datenbankdatei '" + sb_.Win("cfg") +
           "\\benutzer.mdb' wurde nicht gefunden.\r\n",
       placeholder},
  };
  sb_.Write("datei", "keine Vorschau");
  sb_.MakeDir("nurlesen");
  Mount readOnly = Mount::ReadOnly(sb_.Path("nurlesen"));
  sb_.Write("app/Microsoft/Signatures/vorschau/alt.txt", "alt");
  sb_.Write("app/Microsoft/Signatures/vorschau/standardsignatur-vertrieb.txt", "alt");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    if (row.preview == "nurlesen/neu" && !readOnly.ok()) continue;  // no right to mount here
    Configure(row.main);
    const Tree outside = Outside(row.preview + "/"), old = Folder(row.preview);
    const std::string log = Run("/SIMULATE:" + sb_.Win(row.preview));
    EXPECT_EQ(result_.exitCode, row.error.empty() ? 0 : 1) << log;
    EXPECT_EQ(sb_.RegistryBytes(), before);
    EXPECT_EQ(Outside(row.preview + "/"), outside);
    const Tree now = Folder(row.preview);
    if (row.error.empty()) {
      EXPECT_EQ(now.at("alt.txt"), "alt");
      EXPECT_EQ(now.at("standardsignatur-vertrieb.txt"), Ansi("Jörg Bäcker <Köln> & Co\r\n\r\n"));
      EXPECT_EQ(now.size(), 11u);  // the old one, eight the run wrote, the page, registry.reg
      continue;
    }
    EXPECT_TRUE(log.ends_with(Ansi(row.error) + "TS ********** Ende \r\n\r\n")) << log;
    EXPECT_EQ(log.find("Verarbeite 1."), std::string::npos) << log;
    if (row.main.empty()) {
      EXPECT_EQ(now, old);
    }
  }
}

// AppDataPath naming each user's folder (%NAME%): the PC that previews another
// user's signatures need not have that folder; a real run still needs it.
TEST_P(Simulate, AnotherUsersApplicationDataFolder) {
  sb_.SeedRegistry(kOutlook2007);
  const std::string folder = sb_.Win("profile") + "\\" + sb_.UserName();
  const struct {
    std::string args, line;
    int exitCode;
  } rows[] = {
      {"/SIMULATE:" + sb_.Win("vorschau"),
       "TS ...Anwendungsdatenordner fehlt (die Simulation schreibt dort nichts): " + folder + "\r\n", 0},
      {"", "TS Fehler 999: Anwendungsdatenordner '" + folder + "' nicht gefunden\r\n", 1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.args);
    Configure();
    const std::string log = Run(row.args, {{"QM_APPDATA", sb_.Win("profile") + "\\%NAME%"}});
    EXPECT_EQ(result_.exitCode, row.exitCode) << log;
    EXPECT_NE(log.find(Ansi(row.line)), std::string::npos) << log;
    EXPECT_FALSE(sb_.Exists("profile"));
  }
  EXPECT_NE(sb_.Read("vorschau/standardsignatur-vertrieb.txt").find(Ansi("Jörg Bäcker")), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Builds, Simulate, BothBuilds(), BuildParamName);

}  // namespace
}  // namespace qmtest
