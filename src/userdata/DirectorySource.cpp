// The directory source: the fields mapped to "AD" from the user's entry in the
// first configured search base that holds the user, the base's sign types,
// and for the signature rules the entry's DN and its groups. A user found in
// no base ends the run, unless only the rules asked for the directory.
#include <algorithm>
#include <chrono>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "log/modHelper.h"
#include "platform/directory.h"
#include "platform/error.h"
#include "records/Mailboxes.h"
#include "records/Membership.h"
#include "records/RunState.h"
#include "records/Settings.h"
#include "support/DistinguishedNames.h"
#include "support/modTools.h"
#include "userdata/DirectorySource.h"
#include "userdata/GroupSearch.h"
#include "userdata/SharedSources.h"
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

  void BeforeSearch(Run& run, const directory::Search& search) {
    if (encryption_ == directory::Encryption::None) return;
    if (!logged_.insert(directory::ServerKey(search)).second) return;
    WriteLog(run, std::string("AD -> ...Verschlüsselung|") +
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

std::string AccountFieldName(const Run& run) {
  const std::string name = Settings::Main(run, "LDAPReaderAccountFieldname");
  return name.empty() ? kDefaultFieldName : name;
}

std::string PersonFilter(const Run& run) {
  const std::string filter = Settings::Main(run, "LDAPFilter");
  return filter.empty() ? kDefaultFilter : filter;
}

std::string UserSearchFilter(const Run& run, const std::string& userName) {
  const std::string fieldName = AccountFieldName(run);
  const std::string filter = PersonFilter(run);
  // By default a * or ( in the name acts in the filter, and "*" finds the first
  // person; escaped, the name matches only the entry of that name.
  const std::string name = Settings::EscapeUserName(run) ? LdapFilterValue(userName) : userName;
  return "(&" + filter + "(" + fieldName + "=" + name + "))";
}

std::optional<directory::Credentials> ReaderAccount(const Run& run) {
  // One of the two alone is ignored: then the platform's own identity is used.
  const std::string account = Settings::Main(run, "LDAPReaderAccountName");
  const std::string password = Settings::Main(run, "LDAPReaderAccountPassword");
  if (account.empty() || password.empty()) return std::nullopt;
  return directory::Credentials{account, password};
}

void ApplyEntry(Run& run, const directory::Entry& entry, int baseNumber) {
  WriteLog(run, "AD -> Benutzer gefunden");

  // Sign types configured for the base come before the entry's own attributes.
  std::string fixed = Settings::Main(run, "FixedSignTypeForDN" + std::to_string(baseNumber));
  if (!fixed.empty()) {
    run.UserData[UserField::SignType] = Trim(fixed);
    run.UserData[UserField::SignTypeReply].clear();
  }
  WriteLog(run, "AD -> ...DN-abhängige SignTypes|" + run.UserData[UserField::SignType]);
  std::string fixedReply = Settings::Main(run, "FixedSignTypeReplyForDN" + std::to_string(baseNumber));
  if (!fixedReply.empty()) run.UserData[UserField::SignTypeReply] = Trim(fixedReply);
  WriteLog(run, "AD -> ...DN-abhängige SignTypes für Antworten|" + run.UserData[UserField::SignTypeReply]);

  for (int i = 0; i < kUserFieldCount; ++i) {
    const FieldMapping& mapping = run.FieldMappings[static_cast<size_t>(i)];
    if (mapping.Source != "AD") continue;
    WriteSourceValue(run.UserData, static_cast<UserField>(i), AttributeText(entry, mapping.SourceName));
  }
}

std::vector<DirectoryGroup> ReadGroups(directory::Connection& connection,
                                       const directory::Search& userSearch,
                                       const std::string& userDn, SharedSources* shared) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kTimeoutSeconds);
  return SearchGroups(userDn, userSearch, [&](const directory::Search& search) {
    // The groups of groups are the same for every member: an audit asks once.
    // The first level names the entry itself and is asked for each.
    const bool shareable = shared != nullptr && search.filter.find(LdapFilterValue(userDn)) == std::string::npos;
    if (!shareable) return connection.SearchAll(search, deadline);
    const std::string key = SearchKey(search);
    const auto known = shared->GroupSearches.find(key);
    if (known != shared->GroupSearches.end()) return known->second;
    std::vector<directory::Entry> entries = connection.SearchAll(search, deadline);
    shared->GroupSearches.emplace(key, entries);
    return entries;
  });
}

std::string SearchKey(const directory::Search& search) {
  return directory::ServerKey(search) + "\n" + DnKey(search.base) + "\n" + search.filter;
}

namespace {

// The attribute that names an entry's manager, by distinguished name.
constexpr const char* kManagerAttribute = "manager";
// What the directory answers for an entry this connection cannot read (the
// provider's numbers): "no such object" and "invalid DN syntax" for a DN that
// names none, "referral" for one that another domain of the forest holds
// (referrals are not chased).
constexpr long kNoSuchObject = -2147016656;
constexpr long kInvalidDnSyntax = -2147016654;
constexpr long kReferral = -2147016661;

// True for an answer that says the entry is not on this server: for a manager
// or a mailbox, a fact about one user's data and not the end of the run. A
// server that is gone or too slow still ends it.
bool NotOnThisServer(const Error& e) {
  return e.Number() == kNoSuchObject || e.Number() == kInvalidDnSyntax || e.Number() == kReferral;
}

// True when dn lies in one of the search bases (a base that names no DN, the
// server's default naming context, may hold any).
bool InsideBases(const std::string& dn, const std::vector<std::string>& bases) {
  return std::any_of(bases.begin(), bases.end(), [&](const std::string& base) {
    try {
      const std::string baseDn = directory::ParseBase(base).base;
      return baseDn.empty() || IsBelow(dn, baseDn);
    } catch (const Error&) {
      return false;
    }
  });
}

// The directory-mapped fields of an entry into a record that is not the
// user's (a mailbox's, a manager's); the sign types are not an entry's to give.
void FillFromEntry(Run& run, UserDataRecord& record, const directory::Entry& entry) {
  for (int i = 0; i < kUserFieldCount; ++i) {
    const auto field = static_cast<UserField>(i);
    const FieldMapping& mapping = run.FieldMappings[static_cast<size_t>(i)];
    if (mapping.Source != "AD" || field == UserField::SignType || field == UserField::SignTypeReply)
      continue;
    WriteSourceValue(record, field, AttributeText(entry, mapping.SourceName));
  }
}

// The entry a base search names: none when the server does not hold it. An
// audit reads each such entry (a manager) once, for every user who names it.
std::optional<directory::Entry> EntryByDn(Run& run, directory::Connection& connection,
                                          const directory::Search& search) {
  std::string key;
  if (run.Shared != nullptr) {
    key = directory::ServerKey(search) + "\n" + DnKey(search.base);
    const auto known = run.Shared->EntriesByDn.find(key);
    if (known != run.Shared->EntriesByDn.end()) return known->second;
  }
  std::optional<directory::Entry> entry;
  try {
    entry = connection.SearchFirst(search, kTimeoutSeconds);
  } catch (const Error& e) {
    if (!NotOnThisServer(e)) throw;
  }
  if (run.Shared != nullptr) run.Shared->EntriesByDn.emplace(key, entry);
  return entry;
}

}  // namespace

ManagerLookup ReadManager(Run& run, directory::Connection& connection, const directory::Search& found,
                          const directory::Entry& entry, const std::vector<std::string>& attributes,
                          const std::vector<std::string>& bases, UserDataRecord& manager) {
  const std::vector<std::string>* values = entry.Find(kManagerAttribute);
  if (values == nullptr || values->empty() || values->front().empty()) {
    WriteLog(run, "AD -> ...Kein Vorgesetzter eingetragen");
    return {ManagerOutcome::None, ""};
  }
  const std::string dn = values->front();
  if (SameDn(dn, entry.dn)) {
    WriteLog(run, "AD -> ...Vorgesetzter ist der eigene Eintrag (ignoriert)|" + dn);
    return {ManagerOutcome::Self, dn};
  }
  if (!InsideBases(dn, bases)) {
    WriteLog(run, "AD -> ...Vorgesetzter nicht gefunden|" + dn);
    return {ManagerOutcome::OutsideBases, dn};
  }
  directory::Search search = found;
  search.base = dn;
  search.scope = directory::Scope::Base;
  search.filter = "(objectClass=*)";
  search.attributes = attributes;
  const std::optional<directory::Entry> managerEntry = EntryByDn(run, connection, search);
  if (!managerEntry) {
    WriteLog(run, "AD -> ...Vorgesetzter nicht gefunden|" + dn);
    return {ManagerOutcome::NotFound, dn};
  }
  WriteLog(run, "AD -> ...Vorgesetzter|" + dn);
  FillFromEntry(run, manager, *managerEntry);
  return {ManagerOutcome::Found, dn};
}

std::string MappedAttributeList(const Run& run) {
  std::string attributeList;
  bool first = true;
  for (const FieldMapping& mapping : run.FieldMappings) {
    if (mapping.Source != "AD") continue;
    if (!first) attributeList += ",";
    attributeList += mapping.SourceName;
    first = false;
  }
  return attributeList;
}

std::vector<std::string> SearchAttributes(const Run& run, const std::string& attributeList, bool manager) {
  std::vector<std::string> names = AttributeNames(attributeList);
  if (manager) names.emplace_back(kManagerAttribute);
  if (run.PhotoMapping.Source == "AD") names.push_back(Trim(run.PhotoMapping.SourceName));
  return names;
}

namespace {

// The groups as the log shows them: each by its cn, else its DN.
void LogGroups(Run& run, const std::vector<DirectoryGroup>& groups) {
  std::string names;
  for (const DirectoryGroup& g : groups) names += (names.empty() ? "" : "; ") + (g.Cn.empty() ? g.Dn : g.Cn);
  WriteLog(run, "AD -> ...Gruppen|" + names);
}

// A mailbox's own entry: the first entry under the bases, in their order,
// whose mail or one of whose proxy addresses is the mailbox's address (both
// compared by the server without regard to case). Its directory-mapped fields
// fill the mailbox's record; its sign types are the rules' to give.
void ReadMailbox(Run& run, directory::Connection& connection, const std::vector<std::string>& bases,
                 const std::vector<std::string>& attributes, bool readGroups, bool readManager,
                 EncryptionLog& encryptionLog, MailboxRecord& mailbox) {
  WriteLog(run, "AD -> Suche Postfach|" + mailbox.Address);
  const std::string value = LdapFilterValue(mailbox.Address);
  for (const std::string& base : bases) {
    directory::Search search = directory::ParseBase(base);
    search.filter = "(|(mail=" + value + ")(proxyAddresses=smtp:" + value + "))";
    search.attributes = attributes;
    search.pageSize = kPageSize;
    encryptionLog.BeforeSearch(run, search);
    std::optional<directory::Entry> entry;
    try {
      entry = connection.SearchFirst(search, kTimeoutSeconds);
    } catch (const Error& e) {
      // A base that another domain holds, or that is not there, holds no mailbox.
      if (!NotOnThisServer(e)) throw;
    }
    if (!entry) continue;
    mailbox.Found = true;
    WriteLog(run, "AD -> ...Postfach gefunden|" + entry->dn);
    FillFromEntry(run, mailbox.Data, *entry);
    mailbox.Membership.UserDn = entry->dn;
    if (readGroups) {
      mailbox.Membership.Groups = ReadGroups(connection, search, entry->dn, run.Shared);
      LogGroups(run, mailbox.Membership.Groups);
    }
    if (readManager) ReadManager(run, connection, search, *entry, attributes, bases, mailbox.Manager);
    return;
  }
  WriteLog(run, "AD -> ...Postfach nicht gefunden|" + mailbox.Address);
}

}  // namespace

bool ReadMailboxEntry(Run& run, directory::Connection& connection, const std::vector<std::string>& bases,
                      const std::vector<std::string>& attributes, bool readGroups, bool readManager,
                      MailboxRecord& mailbox) {
  EncryptionLog encryptionLog(directory::Encryption::None);
  ReadMailbox(run, connection, bases, attributes, readGroups, readManager, encryptionLog, mailbox);
  return mailbox.Found;
}

namespace {

// The connection of the run: its own, or in an audit the one every user shares.
directory::Connection& OpenConnection(Run& run, const std::optional<directory::Credentials>& credentials,
                                      directory::Encryption encryption,
                                      std::optional<directory::Connection>& own) {
  std::optional<directory::Connection>& connection = run.Shared != nullptr ? run.Shared->Directory : own;
  if (!connection) connection = directory::Connection::Open(credentials, encryption);
  return *connection;
}

// The user's entry under one base: in an audit the one read before the run
// (to learn the user's accounts) when there is one.
std::optional<directory::Entry> FirstUserEntry(Run& run, directory::Connection& connection,
                                               const directory::Search& search) {
  if (run.Shared != nullptr) {
    const auto read = run.Shared->UserEntries.find(SearchKey(search));
    if (read != run.Shared->UserEntries.end()) {
      std::optional<directory::Entry> entry = std::move(read->second);
      run.Shared->UserEntries.erase(read);
      return entry;
    }
  }
  return connection.SearchFirst(search, kTimeoutSeconds);
}

}  // namespace

directory::Encryption ReadEncryption(Run& run) {
  const std::string value = Settings::LDAPEncryption(run);
  const std::string name = ToLower(value);
  if (name.empty()) return directory::Encryption::None;
  if (name == "starttls") return directory::Encryption::StartTls;
  if (name == "ldaps") return directory::Encryption::Ldaps;
  RaiseError("Ungültiger Wert '" + value + "' für 'LDAPEncryption' (erlaubt: StartTLS, LDAPS)");
}

bool ReadDirectoryUserData(Run& run, bool readGroups) {
  WriteLog(run, "Ermittle Active-Directory-abhängige Werte");
  const bool readManager = Settings::ManagerData(run);
  const directory::Encryption encryption = ReadEncryption(run);
  const std::optional<directory::Credentials> credentials = ReaderAccount(run);

  WriteLog(run, "AD -> Öffne Verbindung zum Active Directory");
  std::optional<directory::Connection> ownConnection;
  directory::Connection& connection = OpenConnection(run, credentials, encryption, ownConnection);
  WriteLog(run, std::string("AD -> Verbindung|") + (connection.IsOpen() ? "OK" : "Fehler"));

  WriteLog(run, "AD -> Ermittle DN's");
  std::string bases = Settings::Main(run, "LDAPBaseObjectDN");
  if (bases.empty()) RaiseError("Keine Active-Directory-DN's in 'LDAPBaseObjectDN' konfiguriert!");
  std::vector<std::string> baseList = Split(bases, ";");
  WriteLog(run, "AD -> ...Anzahl abzufragender DN's|" + std::to_string(baseList.size()));

  const std::string attributeList = MappedAttributeList(run);
  const bool fieldsFromDirectory = std::any_of(run.FieldMappings.begin(), run.FieldMappings.end(),
                                               [](const FieldMapping& m) { return m.Source == "AD"; });
  WriteLog(run, "AD -> ...Abzufragende Attributliste|" + attributeList);

  // From here on the run is about the command-line user, if one was given.
  if (!run.RunState.DirectoryUser.empty()) run.RunState.UserName = run.RunState.DirectoryUser;

  const std::string userFilter = UserSearchFilter(run, run.RunState.UserName);
  EncryptionLog encryptionLog(encryption);
  for (size_t i = 0; i < baseList.size(); ++i) {
    int n = static_cast<int>(i) + 1;
    WriteLog(run, "AD -> Führe Abfrage für " + std::to_string(n) + ". DN aus");
    WriteLog(run, "AD -> ...LDAP-Abfragezeichenfolge|" + SearchText(baseList[i], userFilter, attributeList));
    directory::Search search = directory::ParseBase(baseList[i]);
    search.filter = userFilter;
    search.attributes = SearchAttributes(run, attributeList, readManager);
    search.pageSize = kPageSize;
    encryptionLog.BeforeSearch(run, search);
    std::optional<directory::Entry> entry = FirstUserEntry(run, connection, search);
    if (!entry) {
      if (i + 1 < baseList.size()) continue;
      if (fieldsFromDirectory)
        RaiseError("Benutzer '" + run.RunState.UserName + "' im Active-Directory nicht gefunden!");
      // Read only for the rules: a local account, or a user outside every
      // base, gets what everybody else gets instead of no signature at all.
      WriteLog(run, "AD -> ...Benutzer nicht im Active-Directory, Regeln mit MemberOf/Below treffen nicht zu");
      break;
    }
    ApplyEntry(run, *entry, n);
    run.Membership.UserDn = entry->dn;
    if (run.PhotoMapping.Source == "AD") {
      // The bytes as the server sends them; of several (jpegPhoto), the first.
      const std::vector<std::string>* photo = entry->Find(Trim(run.PhotoMapping.SourceName));
      TakePhoto(run, "AD -> ", photo != nullptr && !photo->empty() ? std::optional(photo->front()) : std::nullopt,
                false);
    }
    if (readGroups) {
      run.Membership.Groups = ReadGroups(connection, search, entry->dn, run.Shared);
      LogGroups(run, run.Membership.Groups);
    }
    if (readManager)
      ReadManager(run, connection, search, *entry, search.attributes, baseList, run.ManagerData);
    break;
  }

  // The mailboxes' entries, on the same connection.
  const std::vector<std::string> attributes = SearchAttributes(run, attributeList, readManager);
  for (MailboxRecord& mailbox : run.Mailboxes)
    ReadMailbox(run, connection, baseList, attributes, readGroups, readManager, encryptionLog, mailbox);

  WriteLog(run, "AD -> Beende Active-Directory-Verbindung");
  ownConnection.reset();

  WriteLog(run, "USERDATA");
  return ConfirmStep(run);
}

}  // namespace qm
