// The connection translation: OLE DB connection strings and data link files in,
// ODBC connection strings out, for the drivers of both builds.
#include "platform/common/oledb.h"

#include <sstream>

#include "platform/common/text.h"
#include "platform/error.h"
#include "unit_support.h"

namespace {

namespace oledb = qm::platform::oledb;
namespace text = qm::platform::text;
constexpr oledb::Style P = oledb::Style::Posix, W = oledb::Style::Windows;

// Marks the paths handed to the driver, so the table shows which values are files.
std::string Marked(const std::string& path) { return "<" + path + ">"; }

// The ODBC string; for a row that expects "error NUMBER: TEXT", that error raised.
void ExpectTranslated(const std::string& text, oledb::Style style, const std::string& expected, int bits) {
  const auto translate = [&] { return oledb::Translate(text, oledb::DefaultDrivers(style, bits), &Marked); };
  if (expected.starts_with("error ")) {
    const size_t colon = expected.find(": ");
    qm::unit::ExpectError(std::stol(expected.substr(6, colon - 6)), translate, expected.substr(colon + 2));
    return;
  }
  const oledb::OdbcTarget target = translate();
  // The file checked for existence is the one the driver is given.
  const std::string& odbc = target.connectionString;
  const size_t open = odbc.find('<');
  EXPECT_EQ(target.databaseFile, open == std::string::npos ? "" : odbc.substr(open + 1, odbc.find('>') - open - 1));
  EXPECT_EQ(odbc, expected);
}

std::string BadSyntax(const std::string& near) {
  return "error -2147467259: Das Format der Initialisierungszeichenfolge entspricht nicht der OLE DB-Spezifikation "
         "(bei '" + near + "').";
}

TEST(OleDb, Translate) {
  const std::string access = "Driver={Microsoft Access Driver (*.mdb, *.accdb)};DBQ=";
  const std::string jet = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=";
  const std::string empty = "error -2147467259: Leere Verbindungszeichenfolge: der Datenquellenname wurde nicht "
                            "gefunden, und es wurde kein Standardtreiber angegeben.";
  const std::string notInstalled = "' wurde nicht gefunden. Er ist möglicherweise nicht richtig installiert.";
  const struct {
    const char* name;
    oledb::Style style;
    std::string text, expected;
    int bits = 64;  // of the program
  } rows[] = {
      {"jet mdb, windows", W, jet + "C:\\T\\u.mdb;Persist Security Info=False", access + "<C:\\T\\u.mdb>"},
      {"jet mdb, a 32-bit exe: the in-box Jet driver", W, jet + "C:\\T\\u.mdb",
       "Driver={Microsoft Access Driver (*.mdb)};DBQ=<C:\\T\\u.mdb>", 32},
      {"ace, a 32-bit exe: ACE's driver", W, "Provider=Microsoft.ACE.OLEDB.12.0;Data Source=u.accdb",
       access + "<u.accdb>", 32},
      {"database password with ;, names in another case", W,
       "provider=microsoft.jet.oledb.4.0;data source=x.mdb;Jet OLEDB:Database Password=\"a;b\"",
       access + "<x.mdb>;PWD={a;b}"},
      {"ace .SQLITE3, windows", W, "Provider=Microsoft.ACE.OLEDB.16.0;Data Source=C:\\d\\u.SQLITE3",
       "Driver={SQLite3 ODBC Driver};Database=<C:\\d\\u.SQLITE3>;NoCreat=1"},
      {"blanks and single quotes", P, "Provider=Microsoft.Jet.OLEDB.4.0; Data Source = 'C:\\Meine Daten\\u.sqlite' ;",
       "Driver={SQLite3};Database=<C:\\Meine Daten\\u.sqlite>;NoCreat=1"},
      {"msdasql: the server's database is no file", P,
       "Provider=MSDASQL.1;Persist Security Info=False;Extended Properties=\"Driver={PostgreSQL Unicode};Server=db;"
       "Port=5432;Database=ma\"",
       "Driver={PostgreSQL Unicode};Server=db;Port=5432;Database=ma"},
      {"no provider: ODBC keys kept", P, "DSN=Personal;UID=leser;PWD=x", "DSN=Personal;UID=leser;PWD=x"},
      {"msdasql: OLE DB names to ODBC keywords", W,
       "Provider=MSDASQL;Data Source=P;User ID=l;Password=g;Initial Catalog=m", "DSN=P;UID=l;PWD=g;DATABASE=m"},
      {"braces kept", W, "Driver={SQL Server};Server=s1;PWD={a;b}", "Driver={SQL Server};Server=s1;PWD={a;b}"},
      {"sqlite driver: no creation", P, "Driver={SQLite3};Database=\\srv\\u.db",
       "Driver={SQLite3};Database=<\\srv\\u.db>;NoCreat=1"},
      {"sqlite driver with its own NoCreat", P, "Driver=SQLite3;Database=/srv/u.db;NoCreat=0",
       "Driver={SQLite3};Database=</srv/u.db>;NoCreat=0"},
      {"sqloledb with login", W,
       "Provider=SQLOLEDB.1;Data Source=SRV\\SQL2005;Initial Catalog=P;User ID=sa;Password=p",
       "Driver={SQL Server};Server=SRV\\SQL2005;Database=P;UID=sa;PWD=p;Encrypt=no"},
      {"sqlncli10, integrated security", P,
       "Provider=SQLNCLI10;Data Source=srv;Initial Catalog=P;Integrated Security=SSPI;User ID=x",
       "Driver={ODBC Driver 18 for SQL Server};Server=srv;Database=P;Trusted_Connection=Yes;Encrypt=no"},
      {"msoledbsql19", W, "Provider=MSOLEDBSQL19;Data Source=srv", "Driver={SQL Server};Server=srv;Encrypt=yes"},
      {"encryption asked for reaches the driver", W,
       "Provider=MSOLEDBSQL;Data Source=srv;Use Encryption for Data=True;Trust Server Certificate=false",
       "Driver={SQL Server};Server=srv;Encrypt=yes;TrustServerCertificate=no"},
      {"Encrypt and TrustServerCertificate", P,
       "Provider=SQLOLEDB;Data Source=srv;TrustServerCertificate=yes;Encrypt=Strict;User ID=u;Password=p",
       "Driver={ODBC Driver 18 for SQL Server};Server=srv;UID=u;PWD=p;Encrypt=strict;"
       "TrustServerCertificate=yes"},
      {"MSOLEDBSQL19's Optional and Mandatory", W,
       "Provider=MSOLEDBSQL19;Data Source=srv;Use Encryption for Data=Optional;Encrypt=Mandatory",
       "Driver={SQL Server};Server=srv;Encrypt=yes"},
      {"doubled quotes and = in a value", P, "Provider=MSDASQL;DSN=a;PWD=\"x\"\"y=z\"", "DSN=a;PWD={x\"y=z}"},
      {"doubled = in a key", P, "Provider=MSDASQL;DSN=a;A==B=1", "DSN=a;A=B=1"},
      {"a repeated key: the last one counts", P, jet + "a.mdb;Data Source=b.mdb", "Driver={MDBTools};DBQ=<b.mdb>"},
      {"empty", P, "", empty},
      {"unknown provider is named", P, "Provider=OraOLEDB.Oracle;Data Source=x",
       "error 3706: Der Provider 'OraOLEDB.Oracle" + notInstalled},
      {"provider that only starts like a known one", P, "Provider=SQLOLEDBX;Data Source=x",
       "error 3706: Der Provider 'SQLOLEDBX" + notInstalled},
      {"pair without =", P, "Provider=MSDASQL;DSN", BadSyntax("DSN")},
      {"empty key", P, "=x;DSN=a", BadSyntax("=")},
      {"unterminated quote", P, "Provider=MSDASQL;PWD=\"abc", BadSyntax("PWD=\"abc")},
      {"text after the closing quote", P, "Provider=MSDASQL;PWD=\"abc\"d;DSN=x", BadSyntax("PWD=\"abc\"d")},
      {"jet without a data source", P, "Provider=Microsoft.Jet.OLEDB.4.0;Persist Security Info=False",
       "error -2147467259: Keine Datenbankdatei angegeben (die Eigenschaft 'Data Source' ist leer)."},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    ExpectTranslated(row.text, row.style, row.expected, row.bits);
  }
}

// The Encrypt each SQL Server provider's string reaches each driver with: the
// provider's own default when the string names none, what it asks for
// otherwise; Strict only where the driver knows it.
TEST(OleDb, SqlServerEncryptionForEveryDriver) {
  const std::string v18 = "ODBC Driver 18 for SQL Server", v17 = "ODBC Driver 17 for SQL Server",
                    inbox = "SQL Server", v19 = "odbc driver 19 for sql server";
  const std::string refusedBefore =
      "Die Verschlüsselung 'Strict' (TDS 8.0) kennt erst der ODBC Driver 18 for SQL Server; verwendet wird der "
      "Treiber '";
  const std::string refusedAfter =
      "'. Bitte den ODBC Driver 18 for SQL Server installieren oder Encrypt=Mandatory angeben.";
  const struct {
    const char* provider;
    std::string asked;     // the string's own encryption keys, "" for none
    std::string expected;  // Encrypt for Driver 18, 17 and the in-box driver; "!" for the refusal
  } rows[] = {
      {"SQLOLEDB", "", "no no no"},
      {"SQLOLEDB.1", "", "no no no"},
      {"SQLNCLI", "", "no no no"},
      {"SQLNCLI10", "", "no no no"},
      {"SQLNCLI11", "", "no no no"},
      {"MSOLEDBSQL", "", "no no no"},
      {"MSOLEDBSQL.1", "", "no no no"},
      {"MSOLEDBSQL19", "", "yes yes yes"},
      {"MSOLEDBSQL19.1", "", "yes yes yes"},
      {"MSOLEDBSQL20", "", "yes yes yes"},
      {"SQLOLEDB", ";Use Encryption for Data=True", "yes yes yes"},
      {"MSOLEDBSQL19", ";Use Encryption for Data=Optional", "no no no"},
      {"MSOLEDBSQL19", ";Encrypt=false", "no no no"},
      {"SQLNCLI11", ";Encrypt=yes", "yes yes yes"},
      {"MSOLEDBSQL", ";Encrypt=Mandatory", "yes yes yes"},
      {"MSOLEDBSQL19", ";Encrypt=Strict", "strict ! !"},
      {"SQLOLEDB", ";Use Encryption for Data=STRICT", "strict ! !"},
      {"MSOLEDBSQL19", ";Encrypt=Strict;Use Encryption for Data=no", "strict ! !"},
  };
  for (const auto& row : rows) {
    const std::string text = std::string("Provider=") + row.provider + ";Data Source=srv" + row.asked;
    std::istringstream expected(row.expected);
    for (const std::string& driver : {v18, v17, inbox}) {
      SCOPED_TRACE(text + " / " + driver);
      std::string encrypt;
      expected >> encrypt;
      oledb::DriverNames drivers = oledb::DefaultDrivers(W);
      drivers.sqlServer = driver;
      const auto translate = [&] { return oledb::Translate(text, drivers, &Marked); };
      if (encrypt == "!") {
        qm::unit::ExpectError(-2147467259, translate, refusedBefore + driver + refusedAfter);
        continue;
      }
      const oledb::OdbcTarget target = translate();
      EXPECT_EQ(target.connectionString, "Driver={" + driver + "};Server=srv;Encrypt=" + encrypt);
      EXPECT_EQ(target.sqlServerDriver, driver);
      EXPECT_EQ(target.encrypt, encrypt);
    }
  }
  // A later driver knows Strict too; TrustServerCertificate stays as given, and
  // no other provider's string is told about encryption.
  oledb::DriverNames drivers = oledb::DefaultDrivers(W);
  drivers.sqlServer = v19;
  EXPECT_EQ(oledb::Translate("Provider=MSOLEDBSQL19;Data Source=srv;Encrypt=strict;TrustServerCertificate=true",
                             drivers, &Marked)
                .connectionString,
            "Driver={" + v19 + "};Server=srv;Encrypt=strict;TrustServerCertificate=yes");
  const oledb::OdbcTarget jet =
      oledb::Translate("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=u.mdb", drivers, &Marked);
  EXPECT_EQ(jet.sqlServerDriver, "");
  EXPECT_EQ(jet.connectionString.find("Encrypt"), std::string::npos);
}

TEST(OleDb, NewestSqlServerDriverInstalled) {
  const std::string v18 = "ODBC Driver 18 for SQL Server", v17 = "ODBC Driver 17 for SQL Server";
  const struct {
    std::vector<std::string> installed;
    std::string chosen;
  } rows[] = {
      {{}, "SQL Server"},
      {{"SQL Server", "odbc driver 17 for sql server"}, "odbc driver 17 for sql server"},
      {{v17, "SQLite3", v18}, v18},
      {{"ODBC Driver 13 for SQL Server"}, "SQL Server"},
  };
  for (const auto& row : rows) EXPECT_EQ(oledb::PreferredSqlServerDriver(row.installed, "SQL Server"), row.chosen);
}

TEST(OleDb, DataLinkFiles) {
  const std::string head = "[oledb]\r\n; Everything after this line is an OLE DB initstring\r\n";
  const std::string text = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=C:\\a.mdb;Persist Security Info=False";
  const std::string bom16 = "\xFF\xFE", bom8 = "\xEF\xBB\xBF";
  const struct {
    const char* name;
    std::string bytes, expected;  // "" for a file that is refused
  } rows[] = {
      {"utf-16le with mark, as Windows writes it", bom16 + text::Utf8ToUtf16Le(head + text + "\r\n"), text},
      {"utf-8 with mark", bom8 + head + text + "\r\n", text},
      {"utf-8 without mark, LF only", "[oledb]\n; Everything after this line is an OLE DB initstring\n" + text,
       text},
      {"empty file", "", ""},
      {"without the comment line", bom16 + text::Utf8ToUtf16Le("[oledb]\r\nProvider=MSDASQL\r\n"), ""},
      {"section in another case",
       bom16 + text::Utf8ToUtf16Le("[OLEDB]\r\n; Everything after this line is an OLE DB initstring\r\nDSN=a"), ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const auto read = [&] { return oledb::ReadDataLink(row.bytes, "C:\\Daten\\x.udl"); };
    if (!row.expected.empty()) {
      EXPECT_EQ(read(), row.expected);
      continue;
    }
    qm::unit::ExpectError(-2147467259, read,
                          "Die Datei 'C:\\Daten\\x.udl' ist keine gültige Datenverknüpfungsdatei (UDL).");
  }
}

}  // namespace
