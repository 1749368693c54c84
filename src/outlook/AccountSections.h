// The account sections [Account1], [Account2], ... of the configuration file:
// other default signatures for the mail accounts a section names by pattern.
// Read and checked before anything is written; used by the registration.
#pragma once

#include <string>
#include <vector>

#include "records/Findings.h"
#include "records/MailAccounts.h"
#include "records/Run.h"
#include "signatures/SignTypes.h"

namespace qm {

/// Reads every account section into AccountSections (configuration check,
/// run step 16), whatever the Outlook version: a configuration shared by PCs
/// with different versions is refused on each of them alike. Raises error 999
/// naming the section for a key no account section knows, a missing or empty
/// Name, and a value too long to be read whole; with findings (/CHECK) each
/// of them is one more finding instead.
void ReadAccountSections(Run& run, FindingList* findings = nullptr);

/// Checks, once the sign type lists are formed and before the signature
/// folder is touched, that every NewSignature and ReplySignature of the
/// sections that name an account of the default profile (ProfileAccountNames)
/// names a signature of the plan (without regard to case), and writes it as
/// the plan does. Raises error 999 naming the section and the name for one the
/// run does not write; with findings, one error finding each, and a note for
/// such a name in a section that names none of the profile's accounts.
void CheckAccountSectionNames(Run& run, const std::vector<PlannedSignature>& plan,
                              FindingList* findings = nullptr);

/// The first section whose Name matches the account's display name; nullptr
/// when none does.
const AccountSection* AccountSectionFor(const Run& run, const std::string& accountName);

}  // namespace qm
