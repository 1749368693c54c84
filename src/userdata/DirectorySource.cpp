// The directory source: the fields mapped to "AD" from the user's entry in the
// first configured search base that holds the user.
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
#include "support/DistinguishedNames.h"
#include "support/modTools.h"
#include "userdata/DirectorySource.h"
#include "userdata/Sources.h"
#include "userdata/UserTexts.h"

namespace qm {

namespace {

namespace directory = platform::directory;

constexpr const char* kDefaultFieldName = "sAMAccountName";
constexpr const char* kDefaultFilter = "(objectCategory=person)(objectClass=user)";
// The provider pages with 99 entries and gives up after 30 seconds.
constexpr int kPageSize = 99;
constexpr int kTimeoutSeconds = 30;

std::string SearchText(const std::string& base, const std::string& filter,
                       const std::string& fieldName, const std::string& userName,
                       const std::string& attributeList) {
  return "<LDAP://" + base + ">;" + "(&" + filter + "(" + fieldName + "=" + userName + "));" +
         attributeList + ";subtree";
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

// Logs the protection once for each server, after the first search text that
// goes to it (a text that names no server is the platform's default server).
class EncryptionLog {
 public:
  explicit EncryptionLog(directory::Encryption encryption) : encryption_(encryption) {}

  void AfterSearchText(const std::string& searchText) {
    if (encryption_ == directory::Encryption::None) return;
    const std::optional<std::string> server = directory::ServerOf(searchText);
    if (!server || !logged_.insert(*server).second) return;
    WriteLog(std::string("AD -> ...Verschlüsselung|") +
             (encryption_ == directory::Encryption::StartTls ? "StartTLS" : "LDAPS"));
  }

 private:
  directory::Encryption encryption_;
  std::set<std::string> logged_;
};

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

// A search for groups names this many of the last level's groups at once; a
// filter of a thousand DNs would outgrow what servers take in one request.
constexpr size_t kGroupsPerFilter = 50;
// Groups of groups are followed this deep; a deeper nesting is cut off there.
constexpr int kGroupLevels = 16;

// The groups whose member attribute holds the user's DN, then those that hold
// one of theirs, level by level, each group once: a loop of groups ends. They
// are searched below the domain part of the user's DN on the server the user
// was found on, all searches within one time limit.
std::vector<DirectoryGroup> ReadGroups(directory::Connection& connection, const std::string& server,
                                       const std::string& userDn) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kTimeoutSeconds);
  const std::string base = "<LDAP://" + server + DomainPart(userDn) + ">;";
  std::vector<DirectoryGroup> groups;
  std::set<std::string> seen = {DnKey(userDn)};
  std::vector<std::string> level = {userDn};
  for (int depth = 0; depth < kGroupLevels && !level.empty(); ++depth) {
    std::vector<std::string> next;
    for (size_t first = 0; first < level.size(); first += kGroupsPerFilter) {
      const size_t last = std::min(level.size(), first + kGroupsPerFilter);
      std::string filter;
      for (size_t i = first; i < last; ++i) filter += "(member=" + LdapFilterValue(level[i]) + ")";
      if (last - first > 1) filter = "(|" + filter + ")";
      for (const directory::Entry& entry : connection.SearchAll(base + filter + ";cn;subtree", kPageSize, deadline)) {
        if (!seen.insert(DnKey(entry.dn)).second) continue;
        const std::vector<std::string>* cn = entry.Find("cn");
        groups.push_back({entry.dn, cn != nullptr && !cn->empty() ? cn->front() : std::string()});
        next.push_back(entry.dn);
      }
    }
    level = std::move(next);
  }
  return groups;
}

}  // namespace

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
  std::string account = Settings::Main("LDAPReaderAccountName");
  std::string password = Settings::Main("LDAPReaderAccountPassword");
  std::string fieldName = Settings::Main("LDAPReaderAccountFieldname");
  if (fieldName.empty()) fieldName = kDefaultFieldName;
  std::string filter = Settings::Main("LDAPFilter");
  if (filter.empty()) filter = kDefaultFilter;
  const bool escapeUserName = Settings::EscapeUserName();
  const directory::Encryption encryption = ReadEncryption();

  // One of the two alone is ignored: then the platform's own identity is used.
  std::optional<directory::Credentials> credentials;
  if (!account.empty() && !password.empty()) credentials = directory::Credentials{account, password};

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
  for (const FieldMapping& mapping : FieldMappings) {
    if (mapping.Source != "AD") continue;
    if (!attributeList.empty()) attributeList += ",";
    attributeList += mapping.SourceName;
  }
  WriteLog("AD -> ...Abzufragende Attributliste|" + attributeList);

  // From here on the run is about the command-line user, if one was given.
  if (!RunState.DirectoryUser.empty()) RunState.UserName = RunState.DirectoryUser;

  // By default a * or ( in the name acts in the filter, and "*" finds the first
  // person; escaped, the name matches only the entry of that name.
  const std::string filterName = escapeUserName ? LdapFilterValue(RunState.UserName)
                                                : RunState.UserName;
  EncryptionLog encryptionLog(encryption);
  for (size_t i = 0; i < baseList.size(); ++i) {
    int n = static_cast<int>(i) + 1;
    std::string text = SearchText(baseList[i], filter, fieldName, filterName, attributeList);
    WriteLog("AD -> Führe Abfrage für " + std::to_string(n) + ". DN aus");
    WriteLog("AD -> ...LDAP-Abfragezeichenfolge|" + text);
    encryptionLog.AfterSearchText(text);
    std::optional<directory::Entry> entry = connection->SearchFirst(text, kPageSize, kTimeoutSeconds);
    if (!entry) {
      if (i + 1 == baseList.size())
        RaiseError("Benutzer '" + RunState.UserName + "' im Active-Directory nicht gefunden!");
      continue;
    }
    ApplyEntry(*entry, n);
    Membership.UserDn = entry->dn;
    if (readGroups) {
      Membership.Groups = ReadGroups(*connection, directory::ServerPart(baseList[i]), entry->dn);
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
