// The mailboxes of the user's Outlook profile for which the run writes
// signatures of their own (MailboxSignatures=1): each mail account with an
// address, the mailbox's entry in the directory, what the rules decided for
// it and its sign type lists. Data only.
#pragma once

#include <string>
#include <vector>

#include "records/Membership.h"
#include "records/Rules.h"
#include "records/SignTypeLists.h"
#include "records/UserData.h"

namespace qm {

struct MailboxRecord {
  std::string Address;                  ///< as the (first) account gives it
  std::vector<std::string> AccountKeys;  ///< the subkeys of the accounts of this address
  std::string AccountName;              ///< the first account's "Account Name"
  /// What the mailbox's signature names end in: " (" + the address with every
  /// character a file name cannot hold made "_" + ")".
  std::string NameSuffix;
  bool Found = false;            ///< its entry was found in the directory
  UserDataRecord Data;           ///< the directory-mapped fields of its entry
  UserDataRecord Manager;        ///< those of its manager's entry (ManagerData=1)
  MembershipRecord Membership;   ///< its entry's DN and groups
  RuleOutcomeRecord RuleOutcome; ///< what the rules decided for it
  SignTypeListSet Lists;         ///< its sign types and their (unsuffixed) targets
};

}  // namespace qm
