// The database source: the fields mapped to "DB" from the first row of the
// query "UserSelect", over the connection that "DatabaseConnection" names (a
// data link file or an OLE DB connection string).
#include "userdata/DatabaseSource.h"

#include <optional>
#include <string>
#include <vector>

#include "log/modHelper.h"
#include "platform/common/oledb.h"
#include "platform/database.h"
#include "platform/error.h"
#include "records/RunState.h"
#include "records/Settings.h"
#include "support/modTools.h"
#include "userdata/SharedSources.h"
#include "userdata/Sources.h"
#include "userdata/UserTexts.h"

namespace qm {

namespace {

namespace database = platform::database;

constexpr int kLoginTimeoutSeconds = kDatabaseLoginSeconds;
constexpr int kQueryTimeoutSeconds = kDatabaseQuerySeconds;
// ADO's number for a name that a result's fields do not have.
constexpr long kItemNotFound = 3265;

// The connection of the run: its own, or in an audit the one every user
// shares (opened by the first user who reads the database).
database::Connection& OpenConnection(Run& run, const std::string& odbcConnectionString,
                                     std::optional<database::Connection>& own) {
  std::optional<database::Connection>& connection = run.Shared != nullptr ? run.Shared->Database : own;
  if (!connection) connection = database::Connection::Open(odbcConnectionString, kLoginTimeoutSeconds);
  return *connection;
}

// The user's row: in an audit the one read before the run when there is one.
std::optional<database::Row> QueryUser(Run& run, database::Connection& connection, const std::string& sql,
                                       const std::string& photoColumn) {
  if (run.Shared != nullptr) {
    const auto read = run.Shared->Rows.find(sql);
    if (read != run.Shared->Rows.end()) {
      std::optional<database::Row> row = std::move(read->second);
      run.Shared->Rows.erase(read);
      return row;
    }
  }
  return connection.QueryFirstRow(sql, kQueryTimeoutSeconds, photoColumn, kLargestPhoto);
}

}  // namespace

std::string DataLinkPath(const Run& run, const std::string& connectionValue) {
  if (connectionValue.find('\\') != std::string::npos) return connectionValue;
  return run.RunState.ProgramFolderPath + connectionValue;
}

std::string UserSelectText(const Run& run, const std::string& userName) {
  // By default the name goes in as it is, a quote in it being the query
  // author's affair; with EscapeUserName it can no longer end the literal it
  // stands in (USERNAME is the user's own to set).
  const std::string name = Settings::EscapeUserName(run) ? SqlStringValue(userName) : userName;
  std::string sql = Settings::Main(run, "UserSelect");
  sql = ReplaceAll(sql, "%USERNAME%", name);
  return ReplaceAll(sql, "%NAME%", name);
}

std::string PhotoColumn(const Run& run) {
  return run.PhotoMapping.Source == "DB" ? Trim(run.PhotoMapping.SourceName) : "";
}

std::vector<MissingColumn> FillFromRow(Run& run, const database::Row& row, const std::string& photoColumn) {
  std::vector<MissingColumn> missing;
  for (int i = 0; i < kUserFieldCount; ++i) {
    const FieldMapping& mapping = run.FieldMappings[static_cast<size_t>(i)];
    if (mapping.Source != "DB") continue;
    const std::optional<std::string>* value = row.Find(mapping.SourceName);
    if (value == nullptr) {
      missing.push_back({kUserFieldNames[static_cast<size_t>(i)], mapping.SourceName});
      continue;
    }
    WriteSourceValue(run.UserData, static_cast<UserField>(i), *value);
  }
  if (!photoColumn.empty() && !row.binary.found) missing.push_back({"Photo", photoColumn});
  return missing;
}

std::string PhotoColumnMissingText(const std::string& column) {
  return "Das Ergebnis der Abfrage hat keine Spalte '" + column + "' für das Foto ([FieldMapping] Photo)";
}

void ExpandDefaultConnectionString(Run& run, std::string& connection) {
  if (connection != kDefaultConnectionString) return;
  connection = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + run.RunState.ProgramFolderPath +
               "benutzer.mdb;Persist Security Info=False";
  // A simulation and a check leave the configuration file as it is: the value
  // holds for this run only.
  if (!run.RunState.Simulate && !run.RunState.Check) {
    WriteIniValue(run.RunState.ConfigFilePath, "Main", "DatabaseConnection", connection);
  }
}

std::string DatabaseConnectionText(Run& run) {
  std::string connectionValue = Settings::Main(run, "DatabaseConnection");
  if (EndsWithNoCase(connectionValue, ".UDL")) return "file name=" + DataLinkPath(run, connectionValue);
  ExpandDefaultConnectionString(run, connectionValue);
  return connectionValue;
}

platform::database::Connection& AuditConnection(Run& run) {
  std::optional<database::Connection>& connection = run.Shared->Database;
  if (!connection) {
    connection = database::Connection::Open(platform::oledb::ToOdbc(DatabaseConnectionText(run)).connectionString,
                                            kLoginTimeoutSeconds);
  }
  return *connection;
}

std::optional<platform::database::Row> AuditRow(Run& run, const std::string& userName) {
  const std::string sql = UserSelectText(run, userName);
  std::optional<database::Row> row =
      AuditConnection(run).QueryFirstRow(sql, kQueryTimeoutSeconds, PhotoColumn(run), kLargestPhoto);
  run.Shared->Rows[sql] = row;
  return row;
}

bool ReadDatabaseUserData(Run& run) {
  WriteLog(run, "Ermittle Datenbank-abhängige Werte");
  std::string connectionValue = Settings::Main(run, "DatabaseConnection");
  const bool hidePasswords = Settings::HidePasswordsInLog(run);
  WriteLog(run, "DB -> Ermittle Datenbankverbindung");

  const bool dataLink = EndsWithNoCase(connectionValue, ".UDL");
  std::string dataLinkPath;
  if (dataLink) {
    dataLinkPath = DataLinkPath(run, connectionValue);
    run.SharedFile.FileName = dataLinkPath;
    if (!run.SharedFile.Exists()) RaiseError("UDL-Datei nicht gefunden");
    WriteLog(run, "DB -> ...UDL-Datei|" + connectionValue);
  } else {
    // The log often lies on a share the users can read; the connection itself
    // needs the real password.
    WriteLog(run, "DB -> ...Verbindungszeichenfolge|" +
             (hidePasswords ? HidePasswords(connectionValue) : connectionValue));
  }

  WriteLog(run, "DB -> Öffne Datenbankverbindung");
  std::string connectionString;
  if (dataLink) {
    connectionString = "file name=" + dataLinkPath;
  } else {
    ExpandDefaultConnectionString(run, connectionValue);
    connectionString = connectionValue;
  }
  // Which SQL Server driver the PC had, and the encryption it was told: what
  // an administrator needs when the server's certificate is refused.
  const platform::oledb::OdbcTarget target = platform::oledb::ToOdbc(connectionString);
  if (!target.sqlServerDriver.empty()) {
    WriteLog(run, "DB -> ...ODBC-Treiber|" + target.sqlServerDriver + " (Encrypt=" + target.encrypt + ")");
  }
  std::optional<database::Connection> ownConnection;
  database::Connection& connection = OpenConnection(run, target.connectionString, ownConnection);
  if (!connection.IsOpen()) RaiseError("Datenbankverbindung konnte nicht geöffnet werden");
  WriteLog(run, "DB -> ...Status Datenbankverbindung|OK");

  const std::string sql = UserSelectText(run, run.RunState.UserName);
  WriteLog(run, "DB -> ...SQL-Abfragezeichenfolge|" + sql);

  WriteLog(run, "DB -> Führe Abfrage aus");
  const std::string photoColumn = PhotoColumn(run);
  std::optional<database::Row> row = QueryUser(run, connection, sql, photoColumn);
  if (!row) RaiseError("Benutzer '" + run.RunState.UserName + "' in Datenbank nicht gefunden!");
  WriteLog(run, "DB -> Benutzer gefunden");

  const std::vector<MissingColumn> missing = FillFromRow(run, *row, photoColumn);
  if (!missing.empty()) {
    // A column of the fields keeps the database's own text; the photo, an
    // addition, names its column and field.
    if (missing.front().Field != "Photo") RaiseFieldNotFound();
    throw Error(kItemNotFound, "ADODB.Fields", PhotoColumnMissingText(photoColumn));
  }
  if (!photoColumn.empty()) TakePhoto(run, "DB -> ", row->binary.bytes, row->binary.cut);

  WriteLog(run, "DB -> Beende Datenbankverbindung");
  row.reset();
  ownConnection.reset();

  return ConfirmStep(run);
}

}  // namespace qm
