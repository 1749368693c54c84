// /CHECK of the database and the directory: the run's connection, query and
// searches, each fault a finding.
#include "userdata/SourceCheck.h"

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/common/ldap_search.h"
#include "platform/common/oledb.h"
#include "platform/database.h"
#include "platform/directory.h"
#include "platform/error.h"
#include "platform/process.h"
#include "records/Mailboxes.h"
#include "records/Membership.h"
#include "records/RunState.h"
#include "records/Settings.h"
#include "records/UserData.h"
#include "support/modTools.h"
#include "userdata/DatabaseSource.h"
#include "userdata/DirectorySource.h"
#include "userdata/Sources.h"

namespace qm {
namespace {

namespace database = platform::database;
namespace directory = platform::directory;

// The LDAP results of a server that is not there or does not answer (Windows'
// numbering): the bases on it are not asked again.
constexpr int kLdapServerDown = 0x51;
constexpr int kLdapTimeout = 0x55;
constexpr int kLdapConnectError = 0x5B;

std::string ErrorText(const Error& e) { return qm::ErrorText(e.Number(), e.Description()); }

// A path that the file system resolves against the current folder: no root,
// no drive, no share.
bool IsRelative(const std::string& path) {
  return !path.empty() && path[0] != '\\' && !(path.size() >= 2 && path[1] == ':');
}

std::string MappingWhere(int field) {
  return "[FieldMapping] " + std::string(kUserFieldNames[static_cast<size_t>(field)]);
}

bool SilentServer(const Error& e) {
  return e.Number() == directory::ErrorNumber(kLdapServerDown) ||
         e.Number() == directory::ErrorNumber(kLdapTimeout) ||
         e.Number() == directory::ErrorNumber(kLdapConnectError);
}

// What a run finds of a manager, as a finding: one that is not there is a
// fact about the data (the fields stay empty), not the end of a run.
void NoteManager(const ManagerLookup& lookup, const std::string& whose, FindingList& findings) {
  const std::string where = "[Main] ManagerData";
  switch (lookup.Outcome) {
    case ManagerOutcome::None:
      findings.push_back({Severity::Note, where, "Für " + whose + " ist kein Vorgesetzter eingetragen"});
      break;
    case ManagerOutcome::Self:
      findings.push_back({Severity::Warning, where,
                          "Der Vorgesetzte von " + whose + " ist der eigene Eintrag '" + lookup.Dn +
                              "'; die Felder des Vorgesetzten bleiben leer"});
      break;
    case ManagerOutcome::OutsideBases:
      findings.push_back({Severity::Warning, where,
                          "Der Vorgesetzte '" + lookup.Dn + "' von " + whose +
                              " liegt unter keinem DN von 'LDAPBaseObjectDN'; die Felder des "
                              "Vorgesetzten bleiben leer"});
      break;
    case ManagerOutcome::NotFound:
      findings.push_back({Severity::Warning, where,
                          "Der Vorgesetzte '" + lookup.Dn + "' von " + whose +
                              " wurde nicht gefunden; die Felder des Vorgesetzten bleiben leer"});
      break;
    case ManagerOutcome::Found:
      findings.push_back({Severity::Note, where, "Vorgesetzter von " + whose + " gefunden: " + lookup.Dn});
      break;
  }
}

// The profile's mailboxes (MailboxSignatures=1) searched as a run searches
// them: one the directory does not hold gets the user's data.
void CheckMailboxes(Run& run, directory::Connection& connection, const std::vector<std::string>& bases,
                    const std::vector<std::string>& attributes, bool readGroups, bool readManager,
                    FindingList& findings) {
  for (MailboxRecord& mailbox : run.Mailboxes) {
    const std::string where = "Postfach '" + mailbox.Address + "'";
    try {
      if (ReadMailboxEntry(run, connection, bases, attributes, readGroups, readManager, mailbox)) {
        findings.push_back({Severity::Note, where, "Gefunden: " + mailbox.Membership.UserDn});
      } else {
        findings.push_back({Severity::Warning, where,
                            "Kein Eintrag mit dieser Adresse (mail oder proxyAddresses) unter "
                            "'LDAPBaseObjectDN'; das Postfach hat keine eigenen Werte aus dem "
                            "Active Directory"});
      }
    } catch (const Error& e) {
      findings.push_back({Severity::Error, where, "Die Suche scheitert: " + ErrorText(e)});
    }
  }
}

}  // namespace

void CheckDatabase(Run& run, const std::string& userName, FindingList& findings) {
  const std::string where = "[Main] DatabaseConnection";
  std::string connection = Settings::Main(run, "DatabaseConnection");
  if (connection.empty()) {
    findings.push_back({Severity::Error, where,
                        "Kein Wert, doch [FieldMapping] ordnet Felder der Datenbank zu; eine "
                        "Verbindungszeichenfolge oder eine .udl-Datei angeben"});
    return;
  }
  if (EndsWithNoCase(connection, ".UDL")) {
    const std::string path = DataLinkPath(run, connection);
    run.SharedFile.FileName = path;
    if (!run.SharedFile.Exists()) {
      findings.push_back({Severity::Error, where, "UDL-Datei nicht gefunden: '" + path + "'"});
      return;
    }
    connection = "file name=" + path;
  } else {
    ExpandDefaultConnectionString(run, connection);
  }
  try {
    const std::string file = platform::oledb::DatabaseFile(connection);
    if (IsRelative(file)) {
      findings.push_back(
          {Severity::Warning, where,
           "Die Datenbankdatei '" + file +
               "' ist relativ angegeben und wird gegen den aktuellen "
               "Ordner aufgelöst, hier zu '" +
               AddBackslash(platform::CurrentFolder()) + file +
               "'; ein Anmeldeskript startet in einem anderen Ordner, daher den vollen Pfad angeben"});
    }
  } catch (const Error&) {
    // Opening the connection names what is wrong with it.
  }

  std::optional<database::Connection> open;
  try {
    open = database::Connection::OpenConnectionString(connection, kDatabaseLoginSeconds);
  } catch (const Error& e) {
    findings.push_back({Severity::Error, where, "Keine Verbindung: " + ErrorText(e)});
    return;
  }
  if (!open->IsOpen()) {
    findings.push_back(
        {Severity::Error, where, "Datenbankverbindung konnte nicht geöffnet werden"});
    return;
  }
  findings.push_back({Severity::Note, "Datenbank", "Verbindung hergestellt"});

  // The staff list of /AUDIT, when one is configured: the query must run.
  const std::string auditSelect = Trim(Settings::Main(run, "AuditSelect"));
  if (!auditSelect.empty()) {
    try {
      if (open->QueryFirstColumn(auditSelect, kDatabaseQuerySeconds, 1).empty()) {
        findings.push_back({Severity::Warning, "[Main] AuditSelect",
                            "Die Abfrage '" + auditSelect + "' liefert keine Zeile: /AUDIT fände keine Benutzer"});
      }
    } catch (const Error& e) {
      findings.push_back({Severity::Error, "[Main] AuditSelect",
                          "Die Abfrage '" + auditSelect + "' scheitert: " + ErrorText(e)});
    }
  }

  const std::string selectWhere = "[Main] UserSelect";
  const std::string sql = UserSelectText(run, userName);
  std::optional<database::Row> row;
  const std::string photoColumn = PhotoColumn(run);
  try {
    row = open->QueryFirstRow(sql, kDatabaseQuerySeconds, photoColumn, kLargestPhoto);
  } catch (const Error& e) {
    findings.push_back(
        {Severity::Error, selectWhere, "Die Abfrage '" + sql + "' scheitert: " + ErrorText(e)});
    return;
  }
  if (!row) {
    findings.push_back(
        {Severity::Error, selectWhere,
         "Benutzer '" + userName + "' in Datenbank nicht gefunden! (Abfrage: " + sql + ")"});
    return;
  }
  findings.push_back(
      {Severity::Note, "Datenbank", "Benutzer '" + userName + "' gefunden (Abfrage: " + sql + ")"});
  std::string columns;
  for (const auto& column : row->columns) columns += (columns.empty() ? "" : ", ") + column.first;
  if (row->binary.found) columns += (columns.empty() ? "" : ", ") + photoColumn;
  for (const MissingColumn& missing : FillFromRow(run, *row, photoColumn)) {
    findings.push_back({Severity::Error, "[FieldMapping] " + missing.Field,
                        "Das Ergebnis der Abfrage hat keine Spalte '" + missing.Column +
                            "' (es hat: " + columns + ")"});
  }
}

void CheckDirectory(Run& run, const std::string& userName, bool fieldsMapped, bool readGroups,
                    FindingList& findings) {
  directory::Encryption encryption = directory::Encryption::None;
  try {
    encryption = ReadEncryption(run);
  } catch (const Error&) {
    return;  // the configuration check names the value
  }
  const std::string bases = Settings::Main(run, "LDAPBaseObjectDN");
  if (bases.empty()) {
    findings.push_back({Severity::Error, "[Main] LDAPBaseObjectDN",
                        "Keine Active-Directory-DN's in 'LDAPBaseObjectDN' konfiguriert!"});
    return;
  }
  std::string attributeList;
  bool emptyName = false;
  for (int i = 0; i < kUserFieldCount; ++i) {
    const FieldMapping& mapping = run.FieldMappings[static_cast<size_t>(i)];
    if (mapping.Source != "AD") continue;
    attributeList += (attributeList.empty() ? "" : ",") + mapping.SourceName;
    if (Trim(mapping.SourceName).empty()) {
      emptyName = true;
      findings.push_back({Severity::Error, MappingWhere(i), "'*' ohne Attributnamen"});
    }
  }

  const bool readManager = Settings::ManagerData(run);
  std::optional<directory::Connection> connection;
  try {
    connection = directory::Connection::Open(ReaderAccount(run), encryption);
  } catch (const Error& e) {
    findings.push_back({Severity::Error, "Active Directory", "Keine Verbindung: " + ErrorText(e)});
    return;
  }
  const std::string filter = UserSearchFilter(run, userName);
  std::set<std::string> silent;  // servers that did not answer
  std::optional<directory::Entry> found;
  directory::Search foundSearch;
  // A run names a user it did not find only when every base answered; one
  // that failed ends it with that failure.
  bool everyBaseAnswered = true;
  const std::vector<std::string> baseList = Split(bases, ";");
  for (size_t i = 0; i < baseList.size(); ++i) {
    const int number = static_cast<int>(i) + 1;
    const std::string where = "[Main] LDAPBaseObjectDN, DN " + std::to_string(number) + " '" +
                              baseList[i] + "'";
    directory::Search search;
    try {
      search = directory::ParseBase(baseList[i]);
    } catch (const Error& e) {
      findings.push_back({Severity::Error, where, ErrorText(e)});
      everyBaseAnswered = false;
      continue;
    }
    search.filter = filter;
    search.attributes = SearchAttributes(run, attributeList, readManager);
    search.pageSize = kDirectoryPageSize;
    const std::string server = directory::ServerKey(search);
    if (silent.contains(server)) {
      findings.push_back(
          {Severity::Note, where, "Nicht abgefragt: derselbe Server hat zuvor nicht geantwortet"});
      everyBaseAnswered = false;
      continue;
    }
    std::optional<directory::Entry> entry;
    try {
      entry = connection->SearchFirst(search, kDirectoryTimeoutSeconds);
    } catch (const Error& e) {
      findings.push_back({Severity::Error, where, "Die Suche scheitert: " + ErrorText(e)});
      if (SilentServer(e)) silent.insert(server);
      everyBaseAnswered = false;
      continue;
    }
    if (!entry) {
      findings.push_back(
          {Severity::Note, where, "Erreichbar; Benutzer '" + userName + "' nicht darin"});
      continue;
    }
    findings.push_back(
        {Severity::Note, where, "Erreichbar; Benutzer '" + userName + "' gefunden: " + entry->dn});
    if (found) continue;
    // The first base that holds the user is the one a run takes.
    if (!emptyName) ApplyEntry(run, *entry, number);
    run.Membership.UserDn = entry->dn;
    if (readGroups) {
      try {
        run.Membership.Groups = ReadGroups(*connection, search, entry->dn);
      } catch (const Error& e) {
        findings.push_back({Severity::Error, where, "Die Gruppensuche scheitert: " + ErrorText(e)});
      }
    }
    found = std::move(entry);
    foundSearch = search;
  }
  CheckMailboxes(run, *connection, baseList, SearchAttributes(run, attributeList, readManager),
                 readGroups, readManager, findings);

  if (!found) {
    if (fieldsMapped && everyBaseAnswered) {
      findings.push_back({Severity::Error, "[Main] LDAPBaseObjectDN",
                          "Benutzer '" + userName + "' im Active-Directory nicht gefunden!"});
    }
    return;
  }
  for (int i = 0; i < kUserFieldCount; ++i) {
    const FieldMapping& mapping = run.FieldMappings[static_cast<size_t>(i)];
    const std::string name = Trim(mapping.SourceName);
    if (mapping.Source != "AD" || name.empty() || found->Find(name) != nullptr) continue;
    findings.push_back({Severity::Warning, MappingWhere(i),
                        "Der Eintrag von '" + userName + "' hat kein Attribut '" + name +
                            "'; das Feld bleibt leer"});
  }
  const std::string photo = Trim(run.PhotoMapping.SourceName);
  if (run.PhotoMapping.Source == "AD" && !photo.empty() && found->Find(photo) == nullptr) {
    findings.push_back({Severity::Warning, "[FieldMapping] Photo",
                        "Der Eintrag von '" + userName + "' hat kein Attribut '" + photo +
                            "'; kein Foto"});
  }
  if (readManager) {
    try {
      NoteManager(ReadManager(run, *connection, foundSearch, *found, foundSearch.attributes, baseList,
                              run.ManagerData),
                  "'" + userName + "'", findings);
    } catch (const Error& e) {
      findings.push_back({Severity::Error, "[Main] ManagerData",
                          "Die Suche nach dem Vorgesetzten scheitert: " + ErrorText(e)});
    }
  }
}

}  // namespace qm
