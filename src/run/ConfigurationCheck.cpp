// The configuration check, in the two places of the run where what it checks
// is known.
#include "run/ConfigurationCheck.h"

#include "outlook/AccountSections.h"
#include "preview/PreviewPage.h"
#include "records/RunState.h"
#include "records/Settings.h"
#include "records/UserData.h"
#include "signatures/MailboxSignatures.h"
#include "signatures/Rules.h"
#include "signatures/SignTypes.h"
#include "support/modTools.h"
#include "userdata/DirectorySource.h"

namespace qm {

void CheckConfiguration() {
  ReadRules();
  ReadAccountSections();
  ReadEncryption();
  // A mailbox's own data comes from its entry in the directory.
  if (Settings::MailboxSignatures() && Settings::Main("LDAPBaseObjectDN").empty()) {
    RaiseError("'MailboxSignatures' braucht das Active Directory, doch in 'LDAPBaseObjectDN' ist "
               "kein DN konfiguriert");
  }
}

void CheckSignatureNames() {
  const std::vector<PlannedSignature> plan = AllPlannedSignatures();
  CheckAccountSectionNames(plan);
  if (RunState.Simulate) CheckPreviewPageName(plan);
}

}  // namespace qm
