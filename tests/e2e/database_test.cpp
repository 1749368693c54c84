// Whole runs of both builds against real databases: SQLite files built with the
// sqlite3 program and a PostgreSQL server started for this suite. The database
// step's log lines, its one write-back to the configuration file, the values
// that reach the signatures, and every way the step can fail.
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "../common/postgres_server.h"
#include "../common/slapd_server.h"
#include "harness.h"

namespace qmtest {
namespace {

namespace fs = std::filesystem;

constexpr const char* kPlaceholder =
    "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=benutzer.mdb;Persist Security Info=False";
constexpr const char* kSelect = "SELECT * FROM Benutzer WHERE Benutzername = '%USERNAME%'";


std::string Quoted(const std::string& text) {
  std::string out;
  for (char c : text) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return "'" + out + "'";
}

// Outlook must be found (run step 7) before the database step runs.
void RegisterOutlook(const Sandbox& sb) { sb.SeedOutlookVersion(13); }

// The demo's user table plus rows for the user of the run.
fs::path BuildSqlite(const Sandbox& sb, const std::string& rel, const std::string& moreSql) {
  fs::path sql = sb.Write(rel + ".sql", ReadFile(SourceDir() / "examples" / "demo" / "benutzer.sql") + moreSql);
  fs::path db = sb.Path(rel);
  fs::remove(db);
  const std::string command = "sqlite3 '" + db.string() + "' < '" + sql.string() + "'";
  EXPECT_EQ(std::system(command.c_str()), 0) << "the sqlite3 program is needed";
  return db;
}

std::string UserRows(const std::string& user) {
  const std::string u = Quoted(user);
  // Two rows for the user: the first one counts.
  return "INSERT INTO Benutzer (Benutzername, Vorname, Nachname, Telefon, Fax, Ort, SignType, Abteilung) VALUES (" +
         u + ", 'Jörg', 'Bäcker', '+49 30 1', NULL, 'Köln', 'Standard', 'Einkauf');\n"
         "INSERT INTO Benutzer (Benutzername, Vorname, Nachname, SignType) VALUES (" +
         u + ", 'Zweiter', 'Eintrag', 'zweit');\n";
}

std::string Ini(const std::string& connection, const std::string& select,
                const std::string& mapping = "Vorname") {
  return "[Main]\r\nLogFile=run.log\r\nAppDataPath=%QM_APPDATA%\r\nDatabaseConnection=" + connection +
         "\r\nUserSelect=" + select +
         "\r\n[FieldMapping]\r\nFirstName=" + mapping +
         "\r\nLastName=Nachname\r\nPhone=Telefon\r\nFax=Fax\r\nCity=Ort\r\nSignType=SignType\r\nUserDef1=Abteilung\r\n";
}

struct RunLog {
  RunResult result;
  std::string log;  // time stamps masked, in the ANSI code page
};

RunLog RunWith(Sandbox& sb, const std::string& ini, const Env& env = {}) {
  sb.Write("cfg/site.ini", ini);
  sb.MakeDir("cfg/Vorlagen");
  sb.MakeDir("app");
  Env e = env;
  e["QM_APPDATA"] = sb.Win("app");
  RunLog run;
  run.result = sb.Run("/INI:" + sb.Win("cfg/site.ini") + " /DEBUG:LOG", e, 90);
  run.log = MaskTimestamps(sb.Read("cfg/run.log"));
  return run;
}

// The database step's lines: from its first line to the end of the line that
// closes the connection or reports the error.
std::string DbSection(const std::string& log) {
  size_t start = log.find(Ansi("TS Ermittle Datenbank-abhängige Werte"));
  if (start == std::string::npos) return "(no database step in the log)\n" + log;
  size_t end = std::string::npos;
  for (const char* marker : {"TS DB -> Beende Datenbankverbindung\r\n", "TS Fehler "}) {
    size_t at = log.find(marker, start);
    if (at != std::string::npos && at < end) end = at;
  }
  if (end == std::string::npos) return log.substr(start);
  size_t lineEnd = log.find("\r\n", end);
  return log.substr(start, lineEnd == std::string::npos ? std::string::npos : lineEnd + 2 - start);
}

std::string Opening(const std::string& valueLine) {
  return Ansi(CrLf({"TS Ermittle Datenbank-abhängige Werte", "TS DB -> Ermittle Datenbankverbindung",
                    valueLine}));
}

std::string Success(const std::string& valueLine, const std::string& sql) {
  return Opening(valueLine) +
         Ansi(CrLf({"TS DB -> Öffne Datenbankverbindung", "TS DB -> ...Status Datenbankverbindung: OK",
                    "TS DB -> ...SQL-Abfragezeichenfolge: " + sql, "TS DB -> Führe Abfrage aus",
                    "TS DB -> Benutzer gefunden", "TS DB -> Beende Datenbankverbindung"}));
}

std::string Jet(const std::string& path) { return "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + path; }

std::string SqlFor(const Sandbox& sb) {
  return "SELECT * FROM Benutzer WHERE Benutzername = '" + sb.UserName() + "'";
}

class DatabaseTest : public ::testing::TestWithParam<Build> {
 protected:
  static void SetUpTestSuite() { server_ = std::make_unique<TestPostgres>(fs::path(QM_TEST_TMP)); }
  static void TearDownTestSuite() { server_.reset(); }
  static std::unique_ptr<TestPostgres> server_;
};
std::unique_ptr<TestPostgres> DatabaseTest::server_;

TEST_P(DatabaseTest, SqliteFileThroughTheJetProvider) {
  Sandbox sb(GetParam());
  RegisterOutlook(sb);
  BuildSqlite(sb, "daten/benutzer.db", UserRows(sb.UserName()));
  const std::string connection = Jet(sb.Win("daten/benutzer.db"));
  RunLog run = RunWith(sb, Ini(connection, kSelect));
  EXPECT_EQ(DbSection(run.log), Success("TS DB -> ...Verbindungszeichenfolge: " + connection, SqlFor(sb)));
  // Only the placeholder value is ever written back.
  EXPECT_EQ(sb.Read("cfg/site.ini"), Ini(connection, kSelect));
}

TEST_P(DatabaseTest, FieldsReachTheSignature) {
  // The whole road: the database's first row rendered into the signature.
  Sandbox sb(GetParam());
  RegisterOutlook(sb);
  BuildSqlite(sb, "daten/benutzer.db", UserRows(sb.UserName()));
  sb.Write("cfg/Vorlagen/standard.txt", Ansi("@FIRSTNAME@|@LASTNAME@|@PHONE@|@FAX@|@CITY@|@USERDEF1@\r\n"));
  sb.Write("cfg/Vorlagen/standard.htm", "<p>@LASTNAME@</p>\r\n");
  sb.Write("cfg/Vorlagen/standard.rtf", "{\\rtf1 @LASTNAME@}\r\n");
  RunLog run = RunWith(sb, Ini(Jet(sb.Win("daten/benutzer.db")), kSelect));
  EXPECT_EQ(run.result.exitCode, 0) << run.log;
  // SignType "Standard" from the database names the template in lower case;
  // the null fax gives an empty field.
  EXPECT_EQ(sb.Read("app/Microsoft/Signatures/standard.txt"), Ansi("Jörg|Bäcker|+49 30 1||Köln|Einkauf\r\n"));
}

TEST_P(DatabaseTest, DataLinkFileBesideTheConfiguration) {
  Sandbox sb(GetParam());
  RegisterOutlook(sb);
  BuildSqlite(sb, "daten/benutzer.db", UserRows(sb.UserName()));
  // As Windows writes it: UTF-16LE with byte-order mark; the name in mixed case.
  sb.Write("cfg/Benutzer.Udl", Utf16Le("[oledb]\r\n; Everything after this line is an OLE DB initstring\r\n" +
                                       Jet(sb.Win("daten/benutzer.db")) + ";Persist Security Info=False\r\n"));
  RunLog run = RunWith(sb, Ini("Benutzer.Udl", kSelect));
  EXPECT_EQ(DbSection(run.log), Success("TS DB -> ...UDL-Datei: Benutzer.Udl", SqlFor(sb)));
}

TEST_P(DatabaseTest, PlaceholderIsWrittenBackOnce) {
  Sandbox sb(GetParam());
  RegisterOutlook(sb);
  RunLog run = RunWith(sb, Ini(kPlaceholder, kSelect));
  const std::string expanded = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + sb.Win("cfg") +
                               "\\benutzer.mdb;Persist Security Info=False";
  // The log shows the configured value; the connection uses the expanded one,
  // whose database file the demo does not have.
  EXPECT_EQ(DbSection(run.log),
            Opening("TS DB -> ...Verbindungszeichenfolge: " + std::string(kPlaceholder)) +
                Ansi(CrLf({"TS DB -> Öffne Datenbankverbindung",
                           "TS Fehler -2147467259: Die Datenbankdatei '" + sb.Win("cfg") +
                               "\\benutzer.mdb' wurde nicht gefunden."})));
  EXPECT_EQ(run.result.exitCode, 1);
  const std::string ini = sb.Read("cfg/site.ini");
  EXPECT_NE(ini.find("DatabaseConnection=" + expanded + "\r\n"), std::string::npos) << ini;
  EXPECT_EQ(ini.find(kPlaceholder), std::string::npos) << ini;
  // The next run finds the expanded value and leaves the file alone.
  sb.Run("/INI:" + sb.Win("cfg/site.ini"), {{"QM_APPDATA", sb.Win("app")}}, 90);
  EXPECT_EQ(sb.Read("cfg/site.ini"), ini);
}

TEST_P(DatabaseTest, PlaceholderInAnotherCaseIsNotWrittenBack) {
  Sandbox sb(GetParam());
  RegisterOutlook(sb);
  const std::string almost = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=Benutzer.mdb;Persist Security Info=False";
  RunLog run = RunWith(sb, Ini(almost, kSelect));
  EXPECT_EQ(run.result.exitCode, 1);
  EXPECT_EQ(sb.Read("cfg/site.ini"), Ini(almost, kSelect));
}

struct FailureRow {
  const char* name;
  std::string connection;  // "$DB" stands for the SQLite file's path
  std::string select;
  std::string lastLines;   // after the opening lines; "$SQL" is the SQL text
};

TEST_P(DatabaseTest, FailuresEndTheRunWithTheirText) {
  Sandbox sb(GetParam());
  RegisterOutlook(sb);
  BuildSqlite(sb, "daten/benutzer.db", UserRows(sb.UserName()));
  const std::string db = sb.Win("daten/benutzer.db");
  const std::string user = sb.UserName();
  const std::string open = "TS DB -> Öffne Datenbankverbindung\r\n";
  const std::string queried = open + "TS DB -> ...Status Datenbankverbindung: OK\r\nTS DB -> ...SQL-Abfragezeichenfolge: $SQL\r\nTS DB -> Führe Abfrage aus\r\n";
  const FailureRow rows[] = {
      {"empty connection value", "", kSelect,
       open + "TS Fehler -2147467259: Leere Verbindungszeichenfolge: der Datenquellenname wurde nicht "
              "gefunden, und es wurde kein Standardtreiber angegeben.\r\n"},
      {"unparsable connection value", "Provider=MSDASQL;Driver", kSelect,
       open + "TS Fehler -2147467259: Das Format der Initialisierungszeichenfolge entspricht nicht der "
              "OLE DB-Spezifikation (bei 'Driver').\r\n"},
      {"unknown provider", "Provider=OraOLEDB.Oracle;Data Source=orcl", kSelect,
       open + "TS Fehler 3706: Der Provider 'OraOLEDB.Oracle' wurde nicht gefunden. Er ist "
              "möglicherweise nicht richtig installiert.\r\n"},
      {"database file missing", Jet(sb.Win("daten/fehlt.db")), kSelect,
       open + "TS Fehler -2147467259: Die Datenbankdatei '" + sb.Win("daten/fehlt.db") +
           "' wurde nicht gefunden.\r\n"},
      {"no row", Jet(db), "SELECT * FROM Benutzer WHERE Benutzername = 'niemand'",
       queried + "TS Fehler 999: Benutzer '" + user + "' in Datenbank nicht gefunden!\r\n"},
      {"mapped column missing", Jet(db), kSelect,
       queried + "TS DB -> Benutzer gefunden\r\nTS Fehler 3265: Das Objekt in der Auflistung, das dem "
                 "angeforderten Namen oder dem angeforderten Ordinalbezug entspricht, konnte nicht "
                 "gefunden werden.\r\n"},
      {"query rejected", Jet(db), "SELECT * FROM Nirgends",
       queried + "TS Fehler -2147467259: [SQLite]no such table: Nirgends (1)\r\n"},
  };
  for (const FailureRow& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string mapping = std::string(row.name) == "mapped column missing" ? "Rufname" : "Vorname";
    fs::remove(sb.Path("cfg/run.log"));
    RunLog run = RunWith(sb, Ini(row.connection, row.select, mapping));
    std::string sql = row.select;
    for (size_t at; (at = sql.find("%USERNAME%")) != std::string::npos;) sql.replace(at, 10, user);
    std::string last = row.lastLines;
    for (size_t at; (at = last.find("$SQL")) != std::string::npos;) last.replace(at, 4, sql);
    const std::string valueLine = "TS DB -> ...Verbindungszeichenfolge: " + row.connection;
    EXPECT_EQ(DbSection(run.log), Opening(valueLine) + Ansi(last));
    EXPECT_EQ(run.result.exitCode, 1);
    // Nothing written: no signature, no database file, the configuration as it was.
    EXPECT_TRUE(fs::is_empty(sb.Path("app/Microsoft/Signatures")));
    EXPECT_FALSE(sb.Exists("daten/fehlt.db"));
    EXPECT_EQ(sb.Read("cfg/site.ini"), Ini(row.connection, row.select, mapping));
  }
}

TEST_P(DatabaseTest, MissingDataLinkFile) {
  Sandbox sb(GetParam());
  RegisterOutlook(sb);
  RunLog run = RunWith(sb, Ini(sb.Win("nirgends\\benutzer.UDL"), kSelect));
  EXPECT_EQ(DbSection(run.log),
            Ansi(CrLf({"TS Ermittle Datenbank-abhängige Werte", "TS DB -> Ermittle Datenbankverbindung",
                       "TS Fehler 999: UDL-Datei nicht gefunden"})));
}

TEST_P(DatabaseTest, InvalidDataLinkFile) {
  Sandbox sb(GetParam());
  RegisterOutlook(sb);
  sb.Write("cfg/kaputt.udl", "Provider=MSDASQL;DSN=x\r\n");
  RunLog run = RunWith(sb, Ini("kaputt.udl", kSelect));
  EXPECT_EQ(DbSection(run.log),
            Opening("TS DB -> ...UDL-Datei: kaputt.udl") +
                Ansi(CrLf({"TS DB -> Öffne Datenbankverbindung",
                           "TS Fehler -2147467259: Die Datei '" + sb.Win("cfg") +
                               "\\kaputt.udl' ist keine gültige Datenverknüpfungsdatei (UDL)."})));
}

TEST_P(DatabaseTest, ApostropheInTheUserNameGoesInUnchanged) {
  if (GetParam() == Build::Windows) GTEST_SKIP() << "Wine sets USERNAME from the Unix account";
  Sandbox sb(GetParam());
  RegisterOutlook(sb);
  BuildSqlite(sb, "daten/benutzer.db", "");
  const std::string connection = Jet(sb.Win("daten/benutzer.db"));
  // The name breaks the quoted literal: the driver rejects the text.
  RunLog run = RunWith(sb, Ini(connection, kSelect), {{"USERNAME", "o'brien"}});
  EXPECT_NE(DbSection(run.log).find(Ansi("TS DB -> ...SQL-Abfragezeichenfolge: SELECT * FROM Benutzer WHERE "
                                         "Benutzername = 'o'brien'\r\nTS DB -> Führe Abfrage aus\r\nTS Fehler "
                                         "-2147467259: [SQLite]near \"brien\": syntax error")),
            std::string::npos)
      << DbSection(run.log);
  // A query written for such names finds the user.
  fs::remove(sb.Path("cfg/run.log"));
  const std::string select = "SELECT * FROM Benutzer WHERE Benutzername = \"%USERNAME%\"";
  run = RunWith(sb, Ini(connection, select), {{"USERNAME", "o'brien"}});
  EXPECT_EQ(DbSection(run.log),
            Success("TS DB -> ...Verbindungszeichenfolge: " + connection,
                    "SELECT * FROM Benutzer WHERE Benutzername = \"o'brien\""));
}

TEST_P(DatabaseTest, PostgresThroughMsdasql) {
  Sandbox sb(GetParam());
  RegisterOutlook(sb);
  const std::string user = sb.UserName();
  server_->Sql(kPostgresDatabase,
               "DROP TABLE IF EXISTS benutzer; CREATE TABLE benutzer (benutzername text, vorname text, "
               "nachname text, telefon text, fax text, ort text, signtype text, abteilung text, nr serial); "
               "INSERT INTO benutzer (benutzername, vorname, nachname, telefon, fax, ort, signtype, abteilung) "
               "VALUES (" + Quoted(user) + ", 'Jörg', 'Bäcker', '+49 30 1', NULL, 'Köln', 'Standard', NULL), (" +
                   Quoted(user) + ", 'Zweiter', 'Eintrag', NULL, NULL, NULL, 'zweit', NULL)");
  const std::string connection =
      "Provider=MSDASQL.1;Persist Security Info=False;Extended Properties=\"" + server_->OdbcString() + "\"";
  const std::string select = "SELECT * FROM benutzer WHERE benutzername = '%USERNAME%' ORDER BY nr";
  RunLog run = RunWith(sb, Ini(connection, select));
  EXPECT_EQ(DbSection(run.log),
            Success("TS DB -> ...Verbindungszeichenfolge: " + connection,
                    "SELECT * FROM benutzer WHERE benutzername = '" + user + "' ORDER BY nr"));

  // The row as the build's database layer reads it: first row, nulls, umlauts,
  // column names in any case.
  RunResult probe = sb.Probe({"database-query", connection,
                              "SELECT Vorname, FAX, Ort FROM benutzer WHERE benutzername = " + Quoted(user) +
                                  " ORDER BY nr"});
  EXPECT_EQ(probe.output, "row\nvorname=Jörg\nfax null\nort=Köln\n");

  // A wrong password: the driver's message.
  fs::remove(sb.Path("cfg/run.log"));
  const std::string wrong = "Provider=MSDASQL;Extended Properties=\"" + server_->OdbcString("falsch") + "\"";
  run = RunWith(sb, Ini(wrong, select));
  EXPECT_EQ(run.result.exitCode, 1);
  EXPECT_NE(DbSection(run.log).find(Ansi("TS DB -> Öffne Datenbankverbindung\r\nTS Fehler -2147467259: ")),
            std::string::npos)
      << DbSection(run.log);
  EXPECT_NE(DbSection(run.log).find("password authentication failed for user \"quillmark\""), std::string::npos)
      << DbSection(run.log);
}

TEST_P(DatabaseTest, ServerThatRefusesOrDoesNotAnswer) {
  Sandbox sb(GetParam());
  RegisterOutlook(sb);
  const std::string select = "SELECT 1";
  auto connection = [](int port) {
    return "Provider=MSDASQL;Extended Properties=\"Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=" +
           std::to_string(port) + ";Database=x;Uid=x;Pwd=x\"";
  };
  RunLog refused = RunWith(sb, Ini(connection(FreeLoopbackPort()), select));
  EXPECT_EQ(refused.result.exitCode, 1);
  EXPECT_NE(DbSection(refused.log).find(Ansi("TS DB -> Öffne Datenbankverbindung\r\nTS Fehler -2147467259: ")),
            std::string::npos)
      << DbSection(refused.log);
  EXPECT_LT(refused.result.seconds, 10);

  // A server that takes the connection and never answers: the login timeout ends it.
  SilentServer silent;
  fs::remove(sb.Path("cfg/run.log"));
  RunLog hung = RunWith(sb, Ini(connection(silent.port()), select));
  EXPECT_FALSE(hung.result.timedOut);
  EXPECT_EQ(hung.result.exitCode, 1);
  EXPECT_NE(DbSection(hung.log).find(Ansi("TS DB -> Öffne Datenbankverbindung\r\nTS Fehler -2147467259: ")),
            std::string::npos)
      << DbSection(hung.log);
  EXPECT_GE(hung.result.seconds, 14);
  EXPECT_LT(hung.result.seconds, 40);
}

TEST_P(DatabaseTest, SqliteRowThroughTheProbe) {
  Sandbox sb(GetParam());
  BuildSqlite(sb, "daten/benutzer.db", "");
  RunResult probe = sb.Probe({"database-query", Jet(sb.Win("daten/benutzer.db")),
                              "SELECT vorname, TITEL, Ort FROM Benutzer WHERE Benutzername = 'mmueller'"});
  EXPECT_EQ(probe.output, "row\nVorname=Max\nTitel null\nOrt=München\n");
}

INSTANTIATE_TEST_SUITE_P(Builds, DatabaseTest, BothBuilds(), BuildParamName);

}  // namespace
}  // namespace qmtest
