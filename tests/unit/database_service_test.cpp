// The database service on unixODBC against real SQLite files: values, nulls,
// column names, the first of several rows, long texts, and the failures.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/database.h"
#include "platform/error.h"
#include "platform/paths.h"

namespace {

namespace fs = std::filesystem;
using qm::platform::database::Connection;

class DatabaseService : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::path(QM_BUILD_DIR) / "test-tmp" /
              (std::string("DatabaseService.") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    std::ofstream(folder_ / "build.sql")
        << "CREATE TABLE Benutzer (Name TEXT, Vorname TEXT, Telefon TEXT, Notiz TEXT);\n"
           "INSERT INTO Benutzer VALUES ('mm', 'Max', NULL, '');\n"
           "INSERT INTO Benutzer VALUES ('mm', 'Moritz', '2', 'x');\n"
           "INSERT INTO Benutzer VALUES ('jö', 'Jörg', '3', printf('%.5000c', 'a'));\n";
    const std::string command = "sqlite3 '" + Db().string() + "' < '" + (folder_ / "build.sql").string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << "the sqlite3 program is needed";
  }
  fs::path Db() const { return folder_ / "u.db"; }
  // The database as the program writes it: Jet provider, core path notation.
  std::string Jet(const fs::path& file) const {
    std::string core = file.string();
    for (char& c : core) {
      if (c == '/') c = '\\';
    }
    return "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + core;
  }
  fs::path folder_;
};

TEST_F(DatabaseService, FirstRowWithNullsAndNamesInAnyCase) {
  Connection c = Connection::OpenConnectionString(Jet(Db()), 15);
  ASSERT_TRUE(c.IsOpen());
  auto row = c.QueryFirstRow("SELECT * FROM Benutzer WHERE Name = 'mm' ORDER BY Vorname", 30);
  ASSERT_TRUE(row.has_value());
  ASSERT_NE(row->Find("VORNAME"), nullptr);
  EXPECT_EQ(*row->Find("vorname"), "Max");
  ASSERT_NE(row->Find("Telefon"), nullptr);
  EXPECT_FALSE(row->Find("Telefon")->has_value()) << "a database null is nullopt";
  ASSERT_NE(row->Find("Notiz"), nullptr);
  EXPECT_EQ(*row->Find("Notiz"), std::string()) << "an empty text is not null";
  EXPECT_EQ(row->Find("Fax"), nullptr);
}

TEST_F(DatabaseService, NonAsciiAndLongTexts) {
  Connection c = Connection::OpenConnectionString(Jet(Db()), 15);
  auto row = c.QueryFirstRow("SELECT Vorname, Notiz FROM Benutzer WHERE Name = 'jö'", 30);
  ASSERT_TRUE(row.has_value());
  EXPECT_EQ(*row->Find("Vorname"), "Jörg");
  EXPECT_EQ(*row->Find("Notiz"), std::string(5000, 'a'));
}

TEST_F(DatabaseService, NoRowAndRejectedSql) {
  Connection c = Connection::OpenConnectionString(Jet(Db()), 15);
  EXPECT_FALSE(c.QueryFirstRow("SELECT * FROM Benutzer WHERE Name = 'nobody'", 30).has_value());
  try {
    c.QueryFirstRow("SELECT * FROM Nirgends", 30);
    ADD_FAILURE() << "no error";
  } catch (const qm::Error& e) {
    EXPECT_EQ(e.Number(), -2147467259);
    EXPECT_NE(e.Description().find("no such table: Nirgends"), std::string::npos) << e.Description();
  }
}

TEST_F(DatabaseService, MissingDatabaseFileIsNotCreated) {
  for (const std::string& connection :
       {Jet(folder_ / "fehlt.db"), "Driver=SQLite3;Database=" + (folder_ / "fehlt.db").string()}) {
    SCOPED_TRACE(connection);
    try {
      Connection::OpenConnectionString(connection, 15);
      ADD_FAILURE() << "opened";
    } catch (const qm::Error& e) {
      EXPECT_EQ(e.Number(), -2147467259);
      EXPECT_NE(e.Description().find("fehlt.db' wurde nicht gefunden."), std::string::npos) << e.Description();
    }
    EXPECT_FALSE(fs::exists(folder_ / "fehlt.db"));
  }
  // The driver's own guard, which the translation adds for SQLite files.
  EXPECT_THROW(Connection::Open("Driver={SQLite3};Database=" + (folder_ / "fehlt.db").string() + ";NoCreat=1", 15),
               qm::Error);
  EXPECT_FALSE(fs::exists(folder_ / "fehlt.db"));
}

TEST_F(DatabaseService, DriverErrorsCarryTheDriversText) {
  try {
    Connection::Open("Driver={Kein Treiber};Server=x", 15);
    ADD_FAILURE() << "opened";
  } catch (const qm::Error& e) {
    EXPECT_EQ(e.Number(), -2147467259);
    EXPECT_NE(e.Description().find("[unixODBC]"), std::string::npos) << e.Description();
  }
}

TEST_F(DatabaseService, DataLinkFile) {
  std::string body = "[oledb]\r\n; Everything after this line is an OLE DB initstring\r\n" + Jet(Db()) + "\r\n";
  std::string utf16 = "\xFF\xFE";
  for (char ch : body) {
    utf16 += ch;
    utf16 += '\0';
  }
  std::ofstream(folder_ / "u.udl", std::ios::binary) << utf16;
  std::string core = (folder_ / "u.udl").string();
  for (char& c : core) {
    if (c == '/') c = '\\';
  }
  Connection c = Connection::OpenConnectionString("file name=" + core, 15);
  EXPECT_TRUE(c.QueryFirstRow("SELECT 1 AS eins", 30).has_value());
}

}  // namespace
