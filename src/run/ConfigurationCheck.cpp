// The configuration check, in the two places of the run where what it checks
// is known.
#include "run/ConfigurationCheck.h"

#include <set>
#include <string>
#include <vector>

#include "outlook/AccountSections.h"
#include "platform/files.h"
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

void CheckConfiguration(Run& run) {
  run.RunState.ImageTypes = Settings::ImageTypes(run);
  Settings::CheckRefusedValues(run);
  ReadRules(run);
  ReadAccountSections(run);
  ReadEncryption(run);
  CheckMailboxDirectory(run);
  CheckManagerDirectory(run);
}

void CheckMailboxDirectory(Run& run) {
  // A mailbox's own data comes from its entry in the directory.
  if (Settings::MailboxSignatures(run) && Settings::Main(run, "LDAPBaseObjectDN").empty()) {
    RaiseError("'MailboxSignatures' braucht das Active Directory, doch in 'LDAPBaseObjectDN' ist "
               "kein DN konfiguriert");
  }
}

void CheckManagerDirectory(Run& run) {
  // The manager is the entry the user's "manager" attribute names.
  if (Settings::ManagerData(run) && Settings::Main(run, "LDAPBaseObjectDN").empty()) {
    RaiseError("'ManagerData' braucht das Active Directory, doch in 'LDAPBaseObjectDN' ist "
               "kein DN konfiguriert");
  }
}

void CheckSignatureNames(Run& run) {
  const std::vector<PlannedSignature> plan = AllPlannedSignatures(run);
  // Windows opens "aux.htm" as the device AUX, which never ends a read, and
  // writes "nul.htm" into nothing: such a name is no template and no signature.
  for (const PlannedSignature& p : plan) {
    if (p.Skipped) continue;
    if (platform::IsDeviceName(p.SignType)) {
      RaiseError("Der SignType '" + p.SignType + "' ist ein Gerätename von Windows (CON, PRN, AUX, NUL, COM1-COM9, " +
                 "LPT1-LPT9) und kann keine Vorlage benennen");
    }
    if (platform::IsDeviceName(p.Target)) {
      RaiseError("Der Ziel-SignType '" + p.Target + "' ist ein Gerätename von Windows (CON, PRN, AUX, NUL, " +
                 "COM1-COM9, LPT1-LPT9) und kann keine Signatur benennen");
    }
  }
  CheckAccountSectionNames(run, plan);
  if (run.RunState.Simulate) CheckPreviewPageName(plan);
  if (!run.RunState.TemplateConditions) return;
  // The markers of every template a signature of the run is written from,
  // each with the names its signatures know.
  const auto check = [&run](const std::vector<PlannedSignature>& signatures, const SignatureData& data) {
    for (const PlannedSignature& p : signatures) {
      if (!p.Skipped) CheckTemplateConditions(run, p.SignType, data);
    }
  };
  check(PlannedSignatures(run), SignatureDataFor(run, nullptr));
  // Every mailbox's signatures know the same names: each template once.
  std::set<std::string> checked;
  for (const MailboxRecord& mailbox : run.Mailboxes) {
    std::vector<PlannedSignature> unchecked;
    for (PlannedSignature& p : PlannedSignatures(mailbox)) {
      if (checked.insert(p.SignType).second) unchecked.push_back(std::move(p));
    }
    check(unchecked, SignatureDataFor(run, &mailbox));
  }
}

}  // namespace qm
