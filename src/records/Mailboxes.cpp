// The mailboxes of the run.
#include "records/Mailboxes.h"

namespace qm {

std::vector<MailboxRecord> Mailboxes;
std::vector<std::string> AccountsWithUserSignatures;

}  // namespace qm
