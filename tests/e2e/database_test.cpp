// Whole runs of both builds against real databases: SQLite files built with the
// sqlite3 program and a PostgreSQL server on loopback (psqlODBC). What reaches
// the signature, the database step's log lines, its one write-back to the
// configuration file, and the ways the step ends a run.
#include <sys/stat.h>

#include <algorithm>

#include "../common/postgres_server.h"
#include "harness.h"

namespace qmtest {
namespace {

namespace fs = std::filesystem;

// Longer than the read buffers of the database layers (4096 bytes, 2048 UTF-16 units).
const std::string kLong = "Einkauf " + std::string(5000, 'x');
const std::string kJet = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=";

std::string Select(const std::string& name) { return "SELECT * FROM Benutzer WHERE Benutzername = " + name; }
const std::string kSelect = Select("'%USERNAME%'");

// The user table in SQL that both databases take: two rows per user, of which
// the first counts; the fax is null.
std::string UserTable(std::vector<std::string> users) {
  std::string sql = "CREATE TABLE Benutzer (Benutzername text, Vorname text, Nachname text, Telefon text, "
                    "Fax text, Ort text, SignType text, Abteilung text);\n";
  for (std::string& u : users) {
    for (size_t at = 0; (at = u.find('\'', at)) != std::string::npos; at += 2) u.insert(at, 1, '\'');
    sql += "INSERT INTO Benutzer VALUES ('" + u + "', 'Jörg', 'Bäcker', '+49 30 1', NULL, 'Köln', 'Standard', '" +
           kLong + "'), ('" + u + "', 'Zweiter', 'Eintrag', NULL, NULL, NULL, 'zweit', NULL);\n";
  }
  return sql;
}

// Log lines of the step: the connection value, the query, the end of a found user, errors.
std::string Value(const std::string& connection) {
  return "TS DB -> ...Verbindungszeichenfolge: " + connection + "\r\nTS DB -> Öffne Datenbankverbindung\r\n";
}
std::string DataLink(const std::string& name) {
  return "TS DB -> ...UDL-Datei: " + name + "\r\nTS DB -> Öffne Datenbankverbindung\r\n";
}
std::string Query(const std::string& sql) {
  return "TS DB -> ...Status Datenbankverbindung: OK\r\nTS DB -> ...SQL-Abfragezeichenfolge: " + sql +
         "\r\nTS DB -> Führe Abfrage aus\r\n";
}
const std::string kFound = "TS DB -> Benutzer gefunden\r\nTS DB -> Beende Datenbankverbindung\r\n";
// A FIFO, a device or a folder where a file is read.
const std::string kNoFile = "TS Fehler 75: Fehler beim Zugriff auf Pfad/Datei\r\n";
std::string NoFile(const std::string& path) {
  return "TS Fehler -2147467259: Die Datenbankdatei '" + path + "' wurde nicht gefunden.\r\n";
}

struct Row {
  const char* name;
  bool windowsToo;
  std::string connection;    // DatabaseConnection
  std::string select;        // UserSelect
  std::string lines;         // the step's log after its first two lines (or the start of it)
  std::string written = {};  // DatabaseConnection afterwards, when the run writes it back
  Env env = {};
  std::string firstName = "Vorname";  // the column FirstName is mapped to
  std::string main = {};              // further lines of section Main
};

// One run with the row's settings, killed after the time limit. A run that
// finds the user writes the signature and exits with 0; any other writes none
// and exits with 1.
RunResult Check(const Sandbox& sb, const Row& row, int timeoutSeconds = 90) {
  SCOPED_TRACE(row.name);
  sb.Configure(row.main + "DatabaseConnection=" + row.connection + "\r\nUserSelect=" + row.select + "\r\n",
               "FirstName=" + row.firstName + "\r\nLastName=Nachname\r\nPhone=Telefon\r\nFax=Fax\r\nCity=Ort\r\n"
               "SignType=SignType\r\nUserDef1=Abteilung\r\n");
  std::string ini = sb.Read("cfg/site.ini");
  fs::remove_all(sb.Path("app/Microsoft/Signatures"));
  RunResult r = sb.RunLogged("", row.env, timeoutSeconds);
  const std::string log = sb.Log();
  const std::string start =
      Ansi("TS Ermittle Datenbank-abhängige Werte\r\nTS DB -> Ermittle Datenbankverbindung\r\n");
  const std::string expected = start + Ansi(row.lines);
  EXPECT_EQ(log.substr(std::min(log.find(start), log.size()), expected.size()), expected) << log;
  const bool found = row.lines.ends_with(kFound);
  EXPECT_EQ(r.exitCode, found ? 0 : 1) << r.output;
  EXPECT_EQ(sb.Read("app/Microsoft/Signatures/standard.txt"),
            found ? Ansi("Jörg|Bäcker|+49 30 1||Köln|" + kLong + "\r\n") : "");
  if (!row.written.empty()) ini.replace(ini.find(row.connection), row.connection.size(), row.written);
  EXPECT_EQ(sb.Read("cfg/site.ini"), ini);
  return r;
}

class DatabaseTest : public ::testing::TestWithParam<Build> {
 protected:
  void SetUp() override {
    sb_.SeedOutlookVersion(13);  // the run looks for Outlook before the database step
    sb_.Templates("standard", "@FIRSTNAME@|@LASTNAME@|@PHONE@|@FAX@|@CITY@|@USERDEF1@\r\n");
  }
  Sandbox sb_{GetParam()};
};

TEST_P(DatabaseTest, FindsTheUserOrEndsTheRun) {
  const std::string user = sb_.UserName(), table = UserTable({user, "o'brien"});
  sb_.Sqlite("daten/benutzer.db", table);
  TestPostgres postgres(QM_TEST_TMP);
  postgres.Sql(table);
  const std::string db = kJet + sb_.Win("daten/benutzer.db"), missing = kJet + sb_.Win("daten/fehlt.db");
  sb_.Write("cfg/Benutzer.Udl",
            Utf16Le("[oledb]\r\n; Everything after this line is an OLE DB initstring\r\n" + db + "\r\n"));
  sb_.Write("cfg/kaputt.udl", "Provider=MSDASQL;DSN=x\r\n");
  const std::string header = "[oledb]\r\n; Everything after this line is an OLE DB initstring\r\n";
  // Larger than any data link file; once quoted whole in the error line.
  sb_.Write("cfg/gross.udl", Utf16Le(header + std::string(200000, 'x')));
  // A malformed string is quoted in the error; the error line stays one line of 1,000 characters.
  sb_.Write("cfg/lang.udl", Utf16Le(header + "Provider=MSDASQL;Größe eins\r\n\tZeile zwei " + std::string(3000, 'x')));
  const std::string quoted = "Das Format der Initialisierungszeichenfolge entspricht nicht der OLE DB-Spezifikation "
                             "(bei 'Größe eins  Zeile zwei ";
  const std::string cut = quoted + std::string(1000 - (quoted.size() - 2), 'x');  // ö and ß take two bytes
  // A FIFO without a writer would keep the run waiting (as a device would read for ever).
  ASSERT_EQ(::mkfifo(sb_.Path("cfg/fifo.udl").c_str(), 0644), 0);

  const std::string pg = "Provider=MSDASQL.1;Persist Security Info=False;Extended Properties=\"" +
                         postgres.OdbcString() + "\"";
  const std::string sql = Select("'" + user + "'"), noRow = Select("'niemand'");
  const std::string placeholder = kJet + "benutzer.mdb;Persist Security Info=False";
  const std::string otherCase = kJet + "Benutzer.mdb;Persist Security Info=False";
  // USERNAME is the user's own to set. Under Wine it is Wine's (the Unix
  // account), so the windows build cannot be given these names.
  const std::string injection = "x' OR '1'='1";
  const Env injected = {{"USERNAME", injection}}, obrien = {{"USERNAME", "o'brien"}};
  const std::string pgPasswords = "Provider=MSDASQL.1;Password=geheim;Extended Properties=\"" +
                                  postgres.OdbcString() + ";PWD={ge;heim}\"";
  const std::string pgHidden = "Provider=MSDASQL.1;Password=***;Extended Properties=\"" +
                               postgres.OdbcString() + ";PWD=***\"";
  const std::string passwords =
      db + ";jet oledb:database PASSWORD = 'ge''heim;1' ;User ID=pwd;Pwd={a}}b;c};Password=";
  const std::string hidden =
      db + ";jet oledb:database PASSWORD = *** ;User ID=pwd;Pwd=***;Password=";
  const Row rows[] = {
      {"sqlite file through a data link file in UTF-16LE", true, "Benutzer.Udl", kSelect,
       DataLink("Benutzer.Udl") + Query(sql) + kFound},
      {"postgresql through MSDASQL", true, pg, kSelect, Value(pg) + Query(sql) + kFound},
      {"missing data link file", true, sb_.Win("nirgends\\benutzer.UDL"), kSelect,
       "TS Fehler 999: UDL-Datei nicht gefunden\r\n"},
      {"invalid data link file", true, "kaputt.udl", kSelect,
       DataLink("kaputt.udl") + "TS Fehler -2147467259: Die Datei '" + sb_.Win("cfg") +
           "\\kaputt.udl' ist keine gültige Datenverknüpfungsdatei (UDL).\r\n"},
      {"data link file larger than any", true, "gross.udl", kSelect,
       DataLink("gross.udl") + "TS Fehler -2147467259: Die Datei '" + sb_.Win("cfg") +
           "\\gross.udl' ist keine gültige Datenverknüpfungsdatei (UDL).\r\n"},
      {"malformed data link string", true, "lang.udl", kSelect,
       DataLink("lang.udl") + "TS Fehler -2147467259: " + cut + "\r\n"},
      {"data link file that is a FIFO", false, "fifo.udl", kSelect, DataLink("fifo.udl") + kNoFile},
      {"data source name that is not set up", false, "Provider=MSDASQL;Data Source=Nirgends", kSelect,
       Value("Provider=MSDASQL;Data Source=Nirgends") +
           "TS Fehler -2147467259: Die ODBC-Datenquelle 'Nirgends' oder ihr Treiber ist nicht eingerichtet "
           "([unixODBC][Driver Manager]Data source name not found and no default driver specified). Die "
           "eingerichteten Datenquellen nennt 'odbcinst -q -s'.\r\n"},
      {"database file that does not exist", true, missing, kSelect,
       Value(missing) + NoFile(sb_.Win("daten/fehlt.db"))},
      {"no row", true, db, noRow,
       Value(db) + Query(noRow) + "TS Fehler 999: Benutzer '" + user + "' in Datenbank nicht gefunden!\r\n"},
      {"mapped column missing", false, db, kSelect,
       Value(db) + Query(sql) + "TS DB -> Benutzer gefunden\r\nTS Fehler 3265: Das Objekt in der Auflistung, das "
       "dem angeforderten Namen oder dem angeforderten Ordinalbezug entspricht, konnte nicht gefunden werden.\r\n",
       "", {}, "Rufname"},
      // The photo, an addition to the fields, names its column and field.
      {"photo column missing", true, db, kSelect,
       Value(db) + Query(sql) + "TS DB -> Benutzer gefunden\r\nTS Fehler 3265: Das Ergebnis der Abfrage hat keine "
       "Spalte 'Bild' für das Foto ([FieldMapping] Photo)\r\n",
       "", {}, "Vorname\r\nPhoto=Bild"},
      {"query rejected", true, db, "SELECT * FROM Nirgends",
       Value(db) + Query("SELECT * FROM Nirgends") +
           "TS Fehler -2147467259: [SQLite]no such table: Nirgends (1)\r\n"},
      // The log shows the configured value, the connection uses the expanded one.
      {"placeholder is written back", true, placeholder, kSelect,
       Value(placeholder) + NoFile(sb_.Win("cfg") + "\\benutzer.mdb"),
       kJet + sb_.Win("cfg") + "\\benutzer.mdb;Persist Security Info=False"},
      {"placeholder in another case", false, otherCase, kSelect, Value(otherCase) + NoFile("Benutzer.mdb")},
      {"injected name as it is: another user's row", false, db, kSelect,
       Value(db) + Query(Select("'" + injection + "'")) + kFound, "", injected},
      {"apostrophe with EscapeUserName on postgresql", false, pg, kSelect,
       Value(pg) + Query(Select("'o''brien'")) + kFound, "", obrien, "Vorname", "EscapeUserName=1\r\n"},
      {"passwords logged as configured", true, pgPasswords, kSelect,
       Value(pgPasswords) + Query(sql) + kFound},
      {"HidePasswordsInLog, the connection unchanged", true, pgPasswords, kSelect,
       Value(pgHidden) + Query(sql) + kFound, "", {}, "Vorname", "HidePasswordsInLog=1\r\n"},
      {"HidePasswordsInLog: keys in any case, quoted and braced values", false, passwords, kSelect,
       Value(hidden) + Query(sql) + kFound, "", {}, "Vorname", "HidePasswordsInLog=1\r\n"},
  };
  for (const Row& row : rows) {
    if (row.windowsToo || GetParam() == Build::Linux) Check(sb_, row);
  }
  EXPECT_FALSE(sb_.Exists("daten/fehlt.db"));
}

TEST_P(DatabaseTest, ServerThatRefusesOrNeverAnswers) {
  SilentServer silent;
  auto connection = [](int port) {
    return "Provider=MSDASQL;Extended Properties=\"Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=" +
           std::to_string(port) + ";Database=x;Uid=x\"";
  };
  const int closed = FreeLoopbackPort();
  const std::string refused = connection(closed), silence = connection(silent.port());
  // libpq's text: in German under Wine, which passes the locale on to the host's driver.
  auto error = [this](int port, const char* en, const char* de) {
    const std::string p = std::to_string(port);
    if (GetParam() == Build::Linux)
      return "TS Fehler -2147467259: connection to server at \"127.0.0.1\", port " + p + " failed: " + en;
    return "TS Fehler -2147467259: Verbindung zum Server auf »127.0.0.1«, Port " + p + " fehlgeschlagen: " + de;
  };
  // A refused connection does not wait for the login timeout: the run is over within 10 s.
  Check(sb_,
        {"refused", true, refused, "SELECT 1",
         Value(refused) + error(closed,
                                "Connection refused  Is the server running on that host and "
                                "accepting TCP/IP connections?\r\n",
                                "Verbindungsaufbau abgelehnt  Läuft der Server auf diesem Host und "
                                "akzeptiert er TCP/IP-Verbindungen?\r\n")},
        10);
  // The login timeout, ADO's 15 seconds, ends the wait.
  const RunResult r =
      Check(sb_, {"never answers", true, silence, "SELECT 1",
                  Value(silence) + error(silent.port(), "timeout expired\r\n", "Timeout abgelaufen\r\n")});
  EXPECT_GE(r.seconds, 14);
  EXPECT_LT(r.seconds, 40);
}

INSTANTIATE_TEST_SUITE_P(Builds, DatabaseTest, BothBuilds(), BuildParamName);

}  // namespace
}  // namespace qmtest
