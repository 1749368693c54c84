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
#include "signatures/modFiles.h"
#include "support/modTools.h"
#include "userdata/DirectorySource.h"

namespace qm {

void CheckConfiguration() {
  RunState.ImageTypes = Settings::ImageTypes();
  ReadRules();
  ReadAccountSections();
  ReadEncryption();
  CheckMailboxDirectory();
  CheckManagerDirectory();
}

void CheckMailboxDirectory() {
  // A mailbox's own data comes from its entry in the directory.
  if (Settings::MailboxSignatures() && Settings::Main("LDAPBaseObjectDN").empty()) {
    RaiseError("'MailboxSignatures' braucht das Active Directory, doch in 'LDAPBaseObjectDN' ist "
               "kein DN konfiguriert");
  }
}

void CheckManagerDirectory() {
  // The manager is the entry the user's "manager" attribute names.
  if (Settings::ManagerData() && Settings::Main("LDAPBaseObjectDN").empty()) {
    RaiseError("'ManagerData' braucht das Active Directory, doch in 'LDAPBaseObjectDN' ist "
               "kein DN konfiguriert");
  }
}

void CheckSignatureNames() {
  const std::vector<PlannedSignature> plan = AllPlannedSignatures();
  CheckAccountSectionNames(plan);
  if (RunState.Simulate) CheckPreviewPageName(plan);
  if (!RunState.TemplateConditions) return;
  // The markers of every template a signature of the run is written from,
  // each with the names its signatures know.
  const auto check = [](const std::vector<PlannedSignature>& signatures, const SignatureData& data) {
    for (const PlannedSignature& p : signatures) {
      if (!p.Skipped) CheckTemplateConditions(p.SignType, data);
    }
  };
  check(PlannedSignatures(UserData), SignatureDataFor(nullptr));
  for (const MailboxRecord& mailbox : Mailboxes) check(PlannedSignatures(mailbox), SignatureDataFor(&mailbox));
}

}  // namespace qm
