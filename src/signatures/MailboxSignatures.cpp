// The mailboxes' sign types and signatures.
#include "signatures/MailboxSignatures.h"

#include "records/Rules.h"
#include "records/UserData.h"
#include "signatures/Rules.h"

namespace qm {

void ResolveMailboxSignTypes(Run& run) {
  for (MailboxRecord& mailbox : run.Mailboxes) {
    // What no rule gives, the mailbox takes from the user: a rule for the
    // mailbox decides about its signatures, not about its entry's attributes.
    mailbox.Data[UserField::SignType].clear();
    mailbox.Data[UserField::SignTypeReply].clear();
    mailbox.Data.SignTypeFromSource = mailbox.Data.SignTypeReplyFromSource = false;
    mailbox.RuleOutcome = ApplyRules(run, mailbox.Data, mailbox.Membership, &mailbox.Address);
    if (!mailbox.RuleOutcome.SignTypeRule) mailbox.Data[UserField::SignType] = run.UserData[UserField::SignType];
    if (!mailbox.RuleOutcome.SignTypeReplyRule) {
      mailbox.Data[UserField::SignTypeReply] = run.UserData[UserField::SignTypeReply];
    }
    mailbox.Lists = FormSignTypeLists(mailbox.Data[UserField::SignType],
                                      mailbox.Data[UserField::SignTypeReply], run.SignTypeSettings);
  }
}

std::vector<PlannedSignature> PlannedSignatures(const MailboxRecord& mailbox) {
  return PlannedSignatures(mailbox.Lists, !mailbox.Data[UserField::SignTypeReply].empty(),
                           mailbox.NameSuffix);
}

std::vector<PlannedSignature> AllPlannedSignatures(const Run& run) {
  std::vector<PlannedSignature> plan = PlannedSignatures(run);
  for (const MailboxRecord& mailbox : run.Mailboxes) {
    for (PlannedSignature& p : PlannedSignatures(mailbox)) plan.push_back(std::move(p));
  }
  return plan;
}

}  // namespace qm
