// The directory source: the fields mapped to "AD" from the user's entry in the
// first configured search base that holds the user, the base's sign types,
// and for the signature rules the entry's DN and its groups.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/directory.h"
#include "records/Mailboxes.h"
#include "records/Membership.h"
#include "records/Run.h"

namespace qm {

/// The directory provider pages with 99 entries and gives up a search after
/// 30 seconds.
inline constexpr int kDirectoryPageSize = 99;
inline constexpr int kDirectoryTimeoutSeconds = 30;

/// "LDAPReaderAccountFieldname", the attribute that holds the user name;
/// sAMAccountName when it is empty. Never fails.
std::string AccountFieldName(const Run& run);
/// "LDAPFilter", the filter of the persons among the entries; that of Active
/// Directory's users when it is empty. Never fails.
std::string PersonFilter(const Run& run);

/// The filter that finds the user: "LDAPFilter" (or its default) and the
/// attribute "LDAPReaderAccountFieldname" equal to the name, escaped when
/// "EscapeUserName" says so. Never fails.
std::string UserSearchFilter(const Run& run, const std::string& userName);

/// The reader account of "LDAPReaderAccountName" and "LDAPReaderAccountPassword";
/// none when one of the two is empty. Never fails.
std::optional<platform::directory::Credentials> ReaderAccount(const Run& run);

/// The attribute names of the list as the provider reads its command text:
/// blanks and tabs around each removed, empty ones dropped. Never fails.
std::vector<std::string> AttributeNames(const std::string& attributeList);

/// Logs "AD -> Benutzer gefunden", puts the sign types of base number
/// baseNumber and the mapped attributes of the entry into UserData. Raises the
/// field error for an attribute mapped without a name.
void ApplyEntry(Run& run, const platform::directory::Entry& entry, int baseNumber);

/// The groups of an entry (the user's or a mailbox's), searched on the server
/// it was found on; all group searches together have the time limit of one
/// user search.
/// Throws the directory's error.
std::vector<DirectoryGroup> ReadGroups(platform::directory::Connection& connection,
                                       const platform::directory::Search& userSearch,
                                       const std::string& userDn, SharedSources* shared = nullptr);

/// The attributes of the fields mapped to "AD", in field order, joined by ","
/// as the log shows them. Never fails.
std::string MappedAttributeList(const Run& run);

/// The key of a search among an audit's kept answers: server, base and filter.
std::string SearchKey(const platform::directory::Search& search);

/// The attributes a search asks for: those of attributeList (see
/// AttributeNames), the manager's DN when the manager's data is wanted, and
/// the photo attribute when "Photo=" names the directory. Never fails.
std::vector<std::string> SearchAttributes(const Run& run, const std::string& attributeList, bool manager);

/// What the manager attribute of an entry led to.
enum class ManagerOutcome {
  None,          ///< the entry names no manager
  Self,          ///< it names the entry itself (ignored)
  OutsideBases,  ///< the manager lies outside every search base
  NotFound,      ///< no entry of that DN on the server (or another domain's)
  Found,         ///< read
};
struct ManagerLookup {
  ManagerOutcome Outcome = ManagerOutcome::None;
  std::string Dn;  ///< the manager's DN, as the entry names it
};

/// The entry that an entry's manager attribute names, read with a base search
/// on the server the entry was found on (found: that search), into manager.
/// An entry without a manager, one whose manager is the entry itself, outside
/// every base, in another domain or not there at all leaves it empty with one
/// line. Throws the directory's error for a server that fails.
ManagerLookup ReadManager(Run& run, platform::directory::Connection& connection,
                          const platform::directory::Search& found, const platform::directory::Entry& entry,
                          const std::vector<std::string>& attributes, const std::vector<std::string>& bases,
                          UserDataRecord& manager);

/// A mailbox's own entry, as a run reads it: the first entry under the bases
/// whose mail or proxy address is the mailbox's; fills its record, DN, with
/// readGroups its groups and with readManager its manager. True when found.
/// Throws the directory's error for a server that fails.
bool ReadMailboxEntry(Run& run, platform::directory::Connection& connection,
                      const std::vector<std::string>& bases, const std::vector<std::string>& attributes,
                      bool readGroups, bool readManager, MailboxRecord& mailbox);

/// The protection of the directory connection that "LDAPEncryption" names
/// (blanks removed, any case): none when it is empty. Raises error 999
/// "Ungültiger Wert ..." for any other value; reads nothing else.
platform::directory::Encryption ReadEncryption(Run& run);

/// The directory step (run when UseDirectory); ends with the "USERDATA" dump
/// and the step prompt. Records the user's distinguished name in Membership,
/// and with readGroups the groups the user belongs to. Returns false when the
/// user stopped the run at that prompt. Raises error 999 (no bases, user not
/// found while a field is mapped to the directory) or the directory's error;
/// when only the rules need the directory, a user found in no base is logged
/// and leaves Membership empty.
bool ReadDirectoryUserData(Run& run, bool readGroups = false);

}  // namespace qm
