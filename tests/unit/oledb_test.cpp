// The connection translation: OLE DB connection strings and data link files in,
// ODBC connection strings out, for the drivers of both builds.
#include <gtest/gtest.h>

#include <string>

#include "platform/common/oledb.h"
#include "platform/error.h"
#include "platform/paths.h"

namespace {

using qm::platform::oledb::DefaultDrivers;
using qm::platform::oledb::PathMapper;
using qm::platform::oledb::Style;
using qm::platform::oledb::Translate;

std::string SamePath(const std::string& p) { return p; }

struct Case {
  const char* name;
  Style style;
  const char* oledb;
  const char* odbc;
  const char* databaseFile;
};

PathMapper MapperFor(Style style) {
  return style == Style::Posix ? &qm::platform::ToNativePath : &SamePath;
}

TEST(OleDbTranslate, ConnectionStrings) {
  const Case cases[] = {
      {"jet mdb, windows", Style::Windows,
       "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=C:\\Tools\\benutzer.mdb;Persist Security Info=False",
       "Driver={Microsoft Access Driver (*.mdb, *.accdb)};DBQ=C:\\Tools\\benutzer.mdb",
       "C:\\Tools\\benutzer.mdb"},
      {"jet mdb, linux: MDBTools and a Linux path", Style::Posix,
       "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=C:\\Tools\\benutzer.mdb;Persist Security Info=False",
       "Driver={MDBTools};DBQ=/Tools/benutzer.mdb", "C:\\Tools\\benutzer.mdb"},
      {"jet with a database password", Style::Windows,
       "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=x.mdb;Jet OLEDB:Database Password=\"a;b\"",
       "Driver={Microsoft Access Driver (*.mdb, *.accdb)};DBQ=x.mdb;PWD={a;b}", "x.mdb"},
      {"provider name in another case", Style::Windows,
       "provider=microsoft.jet.oledb.4.0;data source=x.mdb",
       "Driver={Microsoft Access Driver (*.mdb, *.accdb)};DBQ=x.mdb", "x.mdb"},
      {"ace 12 accdb", Style::Windows, "Provider=Microsoft.ACE.OLEDB.12.0;Data Source=D:\\b.accdb",
       "Driver={Microsoft Access Driver (*.mdb, *.accdb)};DBQ=D:\\b.accdb", "D:\\b.accdb"},
      {"jet .db file becomes sqlite, linux", Style::Posix,
       "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=\\srv\\data\\benutzer.db",
       "Driver={SQLite3};Database=/srv/data/benutzer.db;NoCreat=1", "\\srv\\data\\benutzer.db"},
      {"ace .SQLITE3 in upper case, windows", Style::Windows,
       "Provider=Microsoft.ACE.OLEDB.16.0;Data Source=C:\\d\\u.SQLITE3",
       "Driver={SQLite3 ODBC Driver};Database=C:\\d\\u.SQLITE3;NoCreat=1", "C:\\d\\u.SQLITE3"},
      {"jet .sqlite with blanks in the path", Style::Posix,
       "Provider=Microsoft.Jet.OLEDB.4.0; Data Source = 'C:\\Meine Daten\\u.sqlite' ;",
       "Driver={SQLite3};Database=/Meine Daten/u.sqlite;NoCreat=1", "C:\\Meine Daten\\u.sqlite"},
      {"msdasql with extended properties", Style::Posix,
       "Provider=MSDASQL.1;Persist Security Info=False;Extended Properties=\"Driver={PostgreSQL "
       "Unicode};Server=db;Port=5432;Database=ma\"",
       "Driver={PostgreSQL Unicode};Server=db;Port=5432;Database=ma", ""},
      {"no provider: ADO's default, ODBC keys kept", Style::Posix, "DSN=Personal;UID=leser;PWD=x",
       "DSN=Personal;UID=leser;PWD=x", ""},
      {"msdasql OLE DB names to ODBC keywords", Style::Windows,
       "Provider=MSDASQL;Data Source=Personal;User ID=leser;Password=geheim;Initial Catalog=ma",
       "DSN=Personal;UID=leser;PWD=geheim;DATABASE=ma", ""},
      {"msdasql driver keeps its braces, value with ; gets them", Style::Windows,
       "Driver={SQL Server};Server=s1;PWD={a;b}", "Driver={SQL Server};Server=s1;PWD={a;b}", ""},
      {"passthrough sqlite driver: path mapped, no creation", Style::Posix,
       "Driver={SQLite3};Database=\\srv\\u.db", "Driver={SQLite3};Database=/srv/u.db;NoCreat=1",
       "\\srv\\u.db"},
      {"passthrough sqlite driver with its own NoCreat", Style::Posix,
       "Driver=SQLite3;Database=/srv/u.db;NoCreat=0", "Driver={SQLite3};Database=/srv/u.db;NoCreat=0",
       "/srv/u.db"},
      {"passthrough DBQ is a file", Style::Posix,
       "Driver={MDBTools};DBQ=C:\\x\\a.mdb", "Driver={MDBTools};DBQ=/x/a.mdb", "C:\\x\\a.mdb"},
      {"sqloledb with login", Style::Windows,
       "Provider=SQLOLEDB.1;Data Source=SRV\\SQL2005;Initial Catalog=Personal;User ID=sa;Password=p",
       "Driver={SQL Server};Server=SRV\\SQL2005;Database=Personal;UID=sa;PWD=p", ""},
      {"sqlncli10 with integrated security", Style::Posix,
       "Provider=SQLNCLI10;Data Source=srv;Initial Catalog=P;Integrated Security=SSPI;User ID=x",
       "Driver={ODBC Driver 18 for SQL Server};Server=srv;Database=P;Trusted_Connection=Yes", ""},
      {"msoledbsql19", Style::Windows, "Provider=MSOLEDBSQL19;Data Source=srv",
       "Driver={SQL Server};Server=srv", ""},
      {"quoted value with doubled quotes and =", Style::Posix,
       "Provider=MSDASQL;DSN=a;PWD=\"x\"\"y=z\"", "DSN=a;PWD={x\"y=z}", ""},
      {"doubled = in a key", Style::Posix, "Provider=MSDASQL;DSN=a;A==B=1", "DSN=a;A=B=1", ""},
      {"a repeated key: the last one counts", Style::Posix,
       "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=a.mdb;Data Source=b.mdb",
       "Driver={MDBTools};DBQ=b.mdb", "b.mdb"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      auto target = Translate(c.oledb, DefaultDrivers(c.style), MapperFor(c.style));
      EXPECT_EQ(target.connectionString, c.odbc);
      EXPECT_EQ(target.databaseFile, c.databaseFile);
    } catch (const qm::Error& e) {
      ADD_FAILURE() << "error " << e.Number() << ": " << e.Description();
    }
  }
}

TEST(OleDbTranslate, DriverNamesFromTheTable) {
  qm::platform::oledb::DriverNames names{"Acc", "Lite", "Mssql"};
  EXPECT_EQ(Translate("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=a.mdb", names, &SamePath).connectionString,
            "Driver={Acc};DBQ=a.mdb");
  EXPECT_EQ(Translate("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=a.db", names, &SamePath).connectionString,
            "Driver={Lite};Database=a.db;NoCreat=1");
  EXPECT_EQ(Translate("Provider=SQLOLEDB;Data Source=s", names, &SamePath).connectionString,
            "Driver={Mssql};Server=s");
}

std::string Marked(const std::string& p) { return "<" + p + ">"; }

TEST(OleDbTranslate, OnlyFilePathsReachThePathMapper) {
  const auto drivers = DefaultDrivers(Style::Posix);
  EXPECT_EQ(Translate("Driver={PostgreSQL Unicode};Server=h;Database=benutzer", drivers, &Marked).connectionString,
            "Driver={PostgreSQL Unicode};Server=h;Database=benutzer");
  EXPECT_EQ(Translate("Driver={SQLite3};Database=u.db", drivers, &Marked).connectionString,
            "Driver={SQLite3};Database=<u.db>;NoCreat=1");
  EXPECT_EQ(Translate("Driver={MDBTools};DBQ=u.mdb", drivers, &Marked).connectionString,
            "Driver={MDBTools};DBQ=<u.mdb>");
  EXPECT_EQ(Translate("Provider=SQLOLEDB;Data Source=srv\\inst", drivers, &Marked).connectionString,
            "Driver={ODBC Driver 18 for SQL Server};Server=srv\\inst");
  EXPECT_EQ(Translate("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=a.sqlite", drivers, &Marked).connectionString,
            "Driver={SQLite3};Database=<a.sqlite>;NoCreat=1");
}

struct ErrorCase {
  const char* name;
  const char* oledb;
  long number;
  const char* description;
};

TEST(OleDbTranslate, Errors) {
  const ErrorCase cases[] = {
      {"empty", "", -2147467259,
       "Leere Verbindungszeichenfolge: der Datenquellenname wurde nicht gefunden, und es wurde kein "
       "Standardtreiber angegeben."},
      {"blanks only", "  ; ", -2147467259, nullptr},
      {"unknown provider is named", "Provider=OraOLEDB.Oracle;Data Source=x", 3706,
       "Der Provider 'OraOLEDB.Oracle' wurde nicht gefunden. Er ist möglicherweise nicht richtig "
       "installiert."},
      {"provider that only starts like a known one", "Provider=SQLOLEDBX;Data Source=x", 3706, nullptr},
      {"pair without =", "Provider=MSDASQL;DSN", -2147467259,
       "Das Format der Initialisierungszeichenfolge entspricht nicht der OLE DB-Spezifikation (bei 'DSN')."},
      {"empty key", "=x;DSN=a", -2147467259, nullptr},
      {"unterminated quote", "Provider=MSDASQL;PWD=\"abc", -2147467259, nullptr},
      {"text after the closing quote", "Provider=MSDASQL;PWD=\"abc\"d;DSN=x", -2147467259, nullptr},
      {"jet without a data source", "Provider=Microsoft.Jet.OLEDB.4.0;Persist Security Info=False",
       -2147467259, "Keine Datenbankdatei angegeben (die Eigenschaft 'Data Source' ist leer)."},
  };
  for (const ErrorCase& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      auto target = Translate(c.oledb, DefaultDrivers(Style::Posix), &SamePath);
      ADD_FAILURE() << "no error, got " << target.connectionString;
    } catch (const qm::Error& e) {
      EXPECT_EQ(e.Number(), c.number);
      if (c.description != nullptr) {
        EXPECT_EQ(e.Description(), c.description);
      }
    }
  }
}

std::string Utf16Le(const std::string& ascii, bool bom = true) {
  std::string out = bom ? std::string("\xFF\xFE", 2) : std::string();
  for (char ch : ascii) {
    out += ch;
    out += '\0';
  }
  return out;
}

TEST(OleDbDataLink, WhatWindowsWritesAndUtf8) {
  const std::string body =
      "[oledb]\r\n; Everything after this line is an OLE DB initstring\r\n"
      "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=C:\\a.mdb;Persist Security Info=False\r\n";
  const std::string expected = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=C:\\a.mdb;Persist Security Info=False";
  struct Row {
    const char* name;
    std::string bytes;
  } rows[] = {
      {"utf-16le with mark", Utf16Le(body)},
      {"utf-8 with mark", "\xEF\xBB\xBF" + body},
      {"utf-8 without mark", body},
      {"utf-8 with LF only", "[oledb]\n; Everything after this line is an OLE DB initstring\n" + expected},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(qm::platform::oledb::ReadDataLink(r.bytes, "C:\\x.udl"), expected);
  }
  // Non-ASCII text in UTF-16 (ü = U+00FC) arrives as UTF-8.
  std::string umlaut = Utf16Le("[oledb]\r\n; Everything after this line is an OLE DB initstring\r\nDSN=M");
  umlaut += std::string("\xFC\x00", 2);
  EXPECT_EQ(qm::platform::oledb::ReadDataLink(umlaut, "u.udl"), "DSN=M\xC3\xBC");
}

TEST(OleDbDataLink, InvalidFiles) {
  struct Row {
    const char* name;
    std::string bytes;
  } rows[] = {
      {"empty file", ""},
      {"utf-16 without the comment line", Utf16Le("[oledb]\r\nProvider=MSDASQL\r\n")},
      {"section in another case", Utf16Le("[OLEDB]\r\n; Everything after this line is an OLE DB initstring\r\nDSN=a")},
      {"utf-16 without its mark", Utf16Le("[oledb]\r\n; Everything after this line is an OLE DB initstring\r\nDSN=a", false)},
      {"a bare connection string", "Provider=MSDASQL;DSN=a"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    try {
      qm::platform::oledb::ReadDataLink(r.bytes, "C:\\Daten\\x.udl");
      ADD_FAILURE() << "accepted";
    } catch (const qm::Error& e) {
      EXPECT_EQ(e.Number(), -2147467259);
      EXPECT_EQ(e.Description(), "Die Datei 'C:\\Daten\\x.udl' ist keine gültige Datenverknüpfungsdatei (UDL).");
    }
  }
}

}  // namespace
