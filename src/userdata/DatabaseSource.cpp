// The database source: the fields mapped to "DB" from the first row of the
// query "UserSelect", over the connection that "DatabaseConnection" names (a
// data link file or an OLE DB connection string).
#include "userdata/DatabaseSource.h"

#include <optional>
#include <string>

#include "log/modHelper.h"
#include "platform/common/oledb.h"
#include "platform/database.h"
#include "platform/error.h"
#include "records/RunState.h"
#include "records/Settings.h"
#include "support/modTools.h"
#include "userdata/Sources.h"
#include "userdata/UserTexts.h"

namespace qm {

namespace {

namespace database = platform::database;

constexpr int kLoginTimeoutSeconds = kDatabaseLoginSeconds;
constexpr int kQueryTimeoutSeconds = kDatabaseQuerySeconds;

}  // namespace

std::string DataLinkPath(const std::string& connectionValue) {
  if (connectionValue.find('\\') != std::string::npos) return connectionValue;
  return RunState.ProgramFolderPath + connectionValue;
}

std::string UserSelectText(const std::string& userName) {
  // By default the name goes in as it is, a quote in it being the query
  // author's affair; with EscapeUserName it can no longer end the literal it
  // stands in (USERNAME is the user's own to set).
  const std::string name = Settings::EscapeUserName() ? SqlStringValue(userName) : userName;
  std::string sql = Settings::Main("UserSelect");
  sql = ReplaceAll(sql, "%USERNAME%", name);
  return ReplaceAll(sql, "%NAME%", name);
}

void ExpandDefaultConnectionString(std::string& connection) {
  if (connection != kDefaultConnectionString) return;
  connection = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + RunState.ProgramFolderPath +
               "benutzer.mdb;Persist Security Info=False";
  // A simulation and a check leave the configuration file as it is: the value
  // holds for this run only.
  if (!RunState.Simulate && !RunState.Check) {
    WriteIniValue(RunState.ConfigFilePath, "Main", "DatabaseConnection", connection);
  }
}

bool ReadDatabaseUserData() {
  WriteLog("Ermittle Datenbank-abhängige Werte");
  std::string connectionValue = Settings::Main("DatabaseConnection");
  const bool hidePasswords = Settings::HidePasswordsInLog();
  WriteLog("DB -> Ermittle Datenbankverbindung");

  const bool dataLink = EndsWithNoCase(connectionValue, ".UDL");
  std::string dataLinkPath;
  if (dataLink) {
    dataLinkPath = DataLinkPath(connectionValue);
    SharedFile.FileName = dataLinkPath;
    if (!SharedFile.Exists()) RaiseError("UDL-Datei nicht gefunden");
    WriteLog("DB -> ...UDL-Datei|" + connectionValue);
  } else {
    // The log often lies on a share the users can read; the connection itself
    // needs the real password.
    WriteLog("DB -> ...Verbindungszeichenfolge|" +
             (hidePasswords ? HidePasswords(connectionValue) : connectionValue));
  }

  WriteLog("DB -> Öffne Datenbankverbindung");
  std::string connectionString;
  if (dataLink) {
    connectionString = "file name=" + dataLinkPath;
  } else {
    ExpandDefaultConnectionString(connectionValue);
    connectionString = connectionValue;
  }
  // Which SQL Server driver the PC had, and the encryption it was told: what
  // an administrator needs when the server's certificate is refused.
  const platform::oledb::OdbcTarget target = platform::oledb::ToOdbc(connectionString);
  if (!target.sqlServerDriver.empty()) {
    WriteLog("DB -> ...ODBC-Treiber|" + target.sqlServerDriver + " (Encrypt=" + target.encrypt + ")");
  }
  std::optional<database::Connection> connection =
      database::Connection::Open(target.connectionString, kLoginTimeoutSeconds);
  if (!connection->IsOpen()) RaiseError("Datenbankverbindung konnte nicht geöffnet werden");
  WriteLog("DB -> ...Status Datenbankverbindung|OK");

  const std::string sql = UserSelectText(RunState.UserName);
  WriteLog("DB -> ...SQL-Abfragezeichenfolge|" + sql);

  WriteLog("DB -> Führe Abfrage aus");
  const std::string photoColumn = PhotoMapping.Source == "DB" ? Trim(PhotoMapping.SourceName) : "";
  std::optional<database::Row> row =
      connection->QueryFirstRow(sql, kQueryTimeoutSeconds, photoColumn, kLargestPhoto);
  if (!row) RaiseError("Benutzer '" + RunState.UserName + "' in Datenbank nicht gefunden!");
  WriteLog("DB -> Benutzer gefunden");

  for (int i = 0; i < kUserFieldCount; ++i) {
    const FieldMapping& mapping = FieldMappings[static_cast<size_t>(i)];
    if (mapping.Source != "DB") continue;
    const std::optional<std::string>* value = row->Find(mapping.SourceName);
    if (value == nullptr) RaiseFieldNotFound();
    WriteSourceValue(static_cast<UserField>(i), *value);
  }
  if (!photoColumn.empty()) {
    if (!row->binary.found) RaiseFieldNotFound();
    TakePhoto("DB -> ", row->binary.bytes, row->binary.cut);
  }

  WriteLog("DB -> Beende Datenbankverbindung");
  row.reset();
  connection.reset();

  return ConfirmStep();
}

}  // namespace qm
