// The configuration check, in the two places of the run where what it checks
// is known.
#include "run/ConfigurationCheck.h"

#include "outlook/AccountSections.h"
#include "preview/PreviewPage.h"
#include "records/RunState.h"
#include "records/UserData.h"
#include "signatures/Rules.h"
#include "signatures/SignTypes.h"
#include "userdata/DirectorySource.h"

namespace qm {

void CheckConfiguration() {
  ReadRules();
  ReadAccountSections();
  ReadEncryption();
}

void CheckSignatureNames() {
  const std::vector<PlannedSignature> plan = PlannedSignatures(UserData);
  CheckAccountSectionNames(plan);
  if (RunState.Simulate) CheckPreviewPageName(plan);
}

}  // namespace qm
