// The mailboxes of the run.
#include "records/Mailboxes.h"

namespace qm {

std::vector<MailboxRecord> Mailboxes;

}  // namespace qm
