// The mail accounts of the run.
#include "records/MailAccounts.h"

namespace qm {

std::vector<MailAccount> MailAccounts;
std::vector<AccountSection> AccountSections;
std::vector<AccountDefaults> AccountAssignments;

}  // namespace qm
