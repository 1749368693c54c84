// The account sections: reading and checking them, and finding the one that
// names an account.
#include "outlook/AccountSections.h"

#include <algorithm>

#include "outlook/modOutlook.h"
#include "platform/common/text.h"
#include "records/Settings.h"
#include "support/Like.h"
#include "support/modTools.h"

namespace qm {

namespace {

using platform::text::EqualsNoCase;

// The planned signature a section's key names, as the plan writes it. A name
// the run does not write is a fault for a section that names an account of
// this profile (the default would name a file that is not there); for any
// other section it is another user's signature (a mailbox this user does not
// have), which /CHECK notes. Either way the name stays as it is.
std::string PlannedName(const std::vector<PlannedSignature>& plan, int number, bool forThisProfile,
                        const std::string& key, const std::string& name, FindingList* findings) {
  for (const PlannedSignature& p : plan) {
    if (!p.Skipped && EqualsNoCase(p.Target, name)) return p.Target;
  }
  const Settings::NumberedSection section{
      number, std::string(catalogue::kAccountSections.Prefix) + std::to_string(number), {}};
  const std::string what = "Die Signatur '" + name + "' wird in diesem Lauf nicht erstellt";
  if (forThisProfile) {
    Settings::SectionFault(section, key, what, findings);
  } else if (findings != nullptr) {
    findings->push_back({Severity::Note, "[" + section.Name + "] " + key,
                         what + "; der Abschnitt nennt kein Konto dieses Profils"});
  }
  return name;
}

}  // namespace

void ReadAccountSections(Run& run, FindingList* findings) {
  run.AccountSections.clear();
  for (const Settings::NumberedSection& section :
       Settings::NumberedSections(run, std::string(catalogue::kAccountSections.Prefix), findings)) {
    AccountSection account;
    account.Number = section.Number;
    for (const auto& [key, value] : section.Values) {
      if (EqualsNoCase(key, "Name")) {
        account.Name = value;
      } else if (EqualsNoCase(key, "NewSignature")) {
        account.NewSignature = value;
      } else if (EqualsNoCase(key, "ReplySignature")) {
        account.ReplySignature = value;
      } else {
        Settings::UnknownKeyFault(section, catalogue::kAccountSections, key, findings);
      }
    }
    if (account.Name.empty()) Settings::SectionFault(section, "Name", "'Name' fehlt", findings);
    run.AccountSections.push_back(std::move(account));
  }
}

void CheckAccountSectionNames(Run& run, const std::vector<PlannedSignature>& plan, FindingList* findings) {
  if (run.AccountSections.empty()) return;
  const std::vector<std::string> accounts = ProfileAccountNames(run);
  for (AccountSection& section : run.AccountSections) {
    const bool forThisProfile = std::any_of(accounts.begin(), accounts.end(), [&](const std::string& a) {
      return LikeNoCase(a, section.Name);
    });
    if (!section.NewSignature.empty())
      section.NewSignature = PlannedName(plan, section.Number, forThisProfile, "NewSignature",
                                         section.NewSignature, findings);
    if (!section.ReplySignature.empty())
      section.ReplySignature = PlannedName(plan, section.Number, forThisProfile, "ReplySignature",
                                           section.ReplySignature, findings);
  }
}

const AccountSection* AccountSectionFor(const Run& run, const std::string& accountName) {
  const auto section =
      std::find_if(run.AccountSections.begin(), run.AccountSections.end(),
                   [&](const AccountSection& s) { return LikeNoCase(accountName, s.Name); });
  return section == run.AccountSections.end() ? nullptr : &*section;
}

}  // namespace qm
