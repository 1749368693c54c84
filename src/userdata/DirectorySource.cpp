// The directory source: the fields mapped to "AD" from the user's entry in the
// first configured search base that holds the user, the base's sign types,
// and for the signature rules the entry's DN and its groups. A user found in
// no base ends the run, unless only the rules asked for the directory.
#include <chrono>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "log/modHelper.h"
#include "platform/directory.h"
#include "platform/error.h"
#include "records/Membership.h"
#include "records/RunState.h"
#include "records/Settings.h"
#include "support/modTools.h"
#include "userdata/DirectorySource.h"
#include "userdata/GroupSearch.h"
#include "userdata/Sources.h"
#include "userdata/UserTexts.h"

namespace qm {

namespace {

namespace directory = platform::directory;

constexpr const char* kDefaultFieldName = "sAMAccountName";
constexpr const char* kDefaultFilter = "(objectCategory=person)(objectClass=user)";
constexpr int kPageSize = kDirectoryPageSize;
constexpr int kTimeoutSeconds = kDirectoryTimeoutSeconds;

// The search as the directory provider's command text: what the log shows.
std::string SearchText(const std::string& base, const std::string& userFilter,
                       const std::string& attributeList) {
  return "<LDAP://" + base + ">;" + userFilter + ";" + attributeList + ";subtree";
}


// The attribute as one text: the values of a multi-valued attribute joined
// without separator; an attribute the entry lacks is null.
std::optional<std::string> AttributeText(const directory::Entry& entry, const std::string& name) {
  std::string trimmed = Trim(name);
  if (trimmed.empty()) RaiseFieldNotFound();
  const std::vector<std::string>* values = entry.Find(trimmed);
  if (values == nullptr) return std::nullopt;
  std::string text;
  for (const std::string& v : *values) text += v;
  return text;
}

// Logs the protection once for each server, before the first search that
// goes to it (a search that names no server goes to the platform's default).
class EncryptionLog {
 public:
  explicit EncryptionLog(directory::Encryption encryption) : encryption_(encryption) {}

  void BeforeSearch(const directory::Search& search) {
    if (encryption_ == directory::Encryption::None) return;
    if (!logged_.insert(directory::ServerKey(search)).second) return;
    WriteLog(std::string("AD -> ...Verschlüsselung|") +
             (encryption_ == directory::Encryption::StartTls ? "StartTLS" : "LDAPS"));
  }

 private:
  directory::Encryption encryption_;
  std::set<std::string> logged_;
};

}  // namespace

std::vector<std::string> AttributeNames(const std::string& attributeList) {
  constexpr const char* kBlanks = " \t";
  std::vector<std::string> names;
  for (const std::string& name : Split(attributeList, ",")) {
    const size_t first = name.find_first_not_of(kBlanks);
    if (first == std::string::npos) continue;
    names.push_back(name.substr(first, name.find_last_not_of(kBlanks) - first + 1));
  }
  return names;
}

std::string UserSearchFilter(const std::string& userName) {
  std::string fieldName = Settings::Main("LDAPReaderAccountFieldname");
  if (fieldName.empty()) fieldName = kDefaultFieldName;
  std::string filter = Settings::Main("LDAPFilter");
  if (filter.empty()) filter = kDefaultFilter;
  // By default a * or ( in the name acts in the filter, and "*" finds the first
  // person; escaped, the name matches only the entry of that name.
  const std::string name = Settings::EscapeUserName() ? LdapFilterValue(userName) : userName;
  return "(&" + filter + "(" + fieldName + "=" + name + "))";
}

std::optional<directory::Credentials> ReaderAccount() {
  // One of the two alone is ignored: then the platform's own identity is used.
  const std::string account = Settings::Main("LDAPReaderAccountName");
  const std::string password = Settings::Main("LDAPReaderAccountPassword");
  if (account.empty() || password.empty()) return std::nullopt;
  return directory::Credentials{account, password};
}

void ApplyEntry(const directory::Entry& entry, int baseNumber) {
  WriteLog("AD -> Benutzer gefunden");

  // Sign types configured for the base come before the entry's own attributes.
  std::string fixed = Settings::Main("FixedSignTypeForDN" + std::to_string(baseNumber));
  if (!fixed.empty()) {
    UserData[UserField::SignType] = Trim(fixed);
    UserData[UserField::SignTypeReply].clear();
  }
  WriteLog("AD -> ...DN-abhängige SignTypes|" + UserData[UserField::SignType]);
  std::string fixedReply = Settings::Main("FixedSignTypeReplyForDN" + std::to_string(baseNumber));
  if (!fixedReply.empty()) UserData[UserField::SignTypeReply] = Trim(fixedReply);
  WriteLog("AD -> ...DN-abhängige SignTypes für Antworten|" + UserData[UserField::SignTypeReply]);

  for (int i = 0; i < kUserFieldCount; ++i) {
    const FieldMapping& mapping = FieldMappings[static_cast<size_t>(i)];
    if (mapping.Source != "AD") continue;
    WriteSourceValue(static_cast<UserField>(i), AttributeText(entry, mapping.SourceName));
  }
}

std::vector<DirectoryGroup> ReadGroups(directory::Connection& connection,
                                       const directory::Search& userSearch,
                                       const std::string& userDn) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kTimeoutSeconds);
  return SearchGroups(userDn, userSearch, [&](const directory::Search& search) {
    return connection.SearchAll(search, deadline);
  });
}

directory::Encryption ReadEncryption() {
  const std::string value = Settings::LDAPEncryption();
  const std::string name = ToLower(value);
  if (name.empty()) return directory::Encryption::None;
  if (name == "starttls") return directory::Encryption::StartTls;
  if (name == "ldaps") return directory::Encryption::Ldaps;
  RaiseError("Ungültiger Wert '" + value + "' für 'LDAPEncryption' (erlaubt: StartTLS, LDAPS)");
}

bool ReadDirectoryUserData(bool readGroups) {
  WriteLog("Ermittle Active-Directory-abhängige Werte");
  const directory::Encryption encryption = ReadEncryption();
  const std::optional<directory::Credentials> credentials = ReaderAccount();

  WriteLog("AD -> Öffne Verbindung zum Active Directory");
  std::optional<directory::Connection> connection =
      directory::Connection::Open(credentials, encryption);
  WriteLog(std::string("AD -> Verbindung|") + (connection->IsOpen() ? "OK" : "Fehler"));

  WriteLog("AD -> Ermittle DN's");
  std::string bases = Settings::Main("LDAPBaseObjectDN");
  if (bases.empty()) RaiseError("Keine Active-Directory-DN's in 'LDAPBaseObjectDN' konfiguriert!");
  std::vector<std::string> baseList = Split(bases, ";");
  WriteLog("AD -> ...Anzahl abzufragender DN's|" + std::to_string(baseList.size()));

  std::string attributeList;
  bool fieldsFromDirectory = false;
  for (const FieldMapping& mapping : FieldMappings) {
    if (mapping.Source != "AD") continue;
    if (fieldsFromDirectory) attributeList += ",";
    attributeList += mapping.SourceName;
    fieldsFromDirectory = true;
  }
  WriteLog("AD -> ...Abzufragende Attributliste|" + attributeList);

  // From here on the run is about the command-line user, if one was given.
  if (!RunState.DirectoryUser.empty()) RunState.UserName = RunState.DirectoryUser;

  const std::string userFilter = UserSearchFilter(RunState.UserName);
  EncryptionLog encryptionLog(encryption);
  for (size_t i = 0; i < baseList.size(); ++i) {
    int n = static_cast<int>(i) + 1;
    WriteLog("AD -> Führe Abfrage für " + std::to_string(n) + ". DN aus");
    WriteLog("AD -> ...LDAP-Abfragezeichenfolge|" + SearchText(baseList[i], userFilter, attributeList));
    directory::Search search = directory::ParseBase(baseList[i]);
    search.filter = userFilter;
    search.attributes = AttributeNames(attributeList);
    search.pageSize = kPageSize;
    encryptionLog.BeforeSearch(search);
    std::optional<directory::Entry> entry = connection->SearchFirst(search, kTimeoutSeconds);
    if (!entry) {
      if (i + 1 < baseList.size()) continue;
      if (fieldsFromDirectory)
        RaiseError("Benutzer '" + RunState.UserName + "' im Active-Directory nicht gefunden!");
      // Read only for the rules: a local account, or a user outside every
      // base, gets what everybody else gets instead of no signature at all.
      WriteLog("AD -> ...Benutzer nicht im Active-Directory, Regeln mit MemberOf/Below treffen nicht zu");
      break;
    }
    ApplyEntry(*entry, n);
    Membership.UserDn = entry->dn;
    if (readGroups) {
      Membership.Groups = ReadGroups(*connection, search, entry->dn);
      std::string names;
      for (const DirectoryGroup& g : Membership.Groups) names += (names.empty() ? "" : "; ") + (g.Cn.empty() ? g.Dn : g.Cn);
      WriteLog("AD -> ...Gruppen|" + names);
    }
    break;
  }

  WriteLog("AD -> Beende Active-Directory-Verbindung");
  connection.reset();

  WriteLog("USERDATA");
  return ConfirmStep();
}

}  // namespace qm
