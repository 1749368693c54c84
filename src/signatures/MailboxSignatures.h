// The signatures of the mailboxes (MailboxSignatures=1): what the rules decide
// for each mailbox and the lists its signatures are written from, and the
// plan of every signature of the run.
#pragma once

#include <vector>

#include "platform/clock.h"
#include "records/Mailboxes.h"
#include "records/Run.h"
#include "signatures/SignTypes.h"

namespace qm {

/// After the user's sign types are resolved: for each mailbox the rules on
/// its own entry (its data, DN and groups, its address for Mailbox=), and its
/// sign type lists: the rules' sign types, else the user's, with the target
/// settings as read. Raises error 999 as the user's lists do.
void ResolveMailboxSignTypes(Run& run);

/// A mailbox's signatures, in production order, their targets ending in its
/// name suffix.
std::vector<PlannedSignature> PlannedSignatures(const MailboxRecord& mailbox);

/// Every signature of the run: the user's, then each mailbox's.
std::vector<PlannedSignature> AllPlannedSignatures(const Run& run);

}  // namespace qm
