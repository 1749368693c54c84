// What an audit (/AUDIT) asks the sources besides what each user's run asks:
// who the staff are, and for each user, before the user's run, the addresses
// of the accounts the user's profile is taken to hold.
#pragma once

#include <string>
#include <vector>

#include "records/Run.h"

namespace qm {

/// The users to audit, in the list's order, as the sources give them: the
/// first column of "AuditSelect" when it is set, else the entries that
/// "LDAPFilter" (or its default) finds under each base of "LDAPBaseObjectDN",
/// by their "LDAPReaderAccountFieldname" attribute. Empty names are left out,
/// duplicates are not. run.Shared set. Raises error 999 when neither key is
/// set, and the source's error.
std::vector<std::string> AuditUserNames(Run& run);

/// The addresses of the accounts the user's profile is taken to hold, in
/// order: the user's own (the "mail" of the user's entry when a directory is
/// configured, else the EMail field of the database row), then with
/// "MailboxSignatures" the "mail" of each entry the user's entry names in
/// msExchDelegateListBL. What was read is kept in run.Shared for the user's
/// run to take. Empty when the user has no address. Raises the source's error.
std::vector<std::string> AuditAccounts(Run& run, const std::string& userName);

}  // namespace qm
