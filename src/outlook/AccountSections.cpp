// The account sections: reading and checking them, and finding the one that
// names an account.
#include "outlook/AccountSections.h"

#include <algorithm>

#include "platform/common/text.h"
#include "records/Settings.h"
#include "support/Like.h"
#include "support/modTools.h"

namespace qm {

namespace {

using platform::text::EqualsNoCase;

// The planned signature a section's key names, as the plan writes it; a fault
// for a name the run does not write (the default would name a file that is
// not there), which leaves the name as it is.
std::string PlannedName(const std::vector<PlannedSignature>& plan, int number,
                        const std::string& key, const std::string& name, FindingList* findings) {
  for (const PlannedSignature& p : plan) {
    if (!p.Skipped && EqualsNoCase(p.Target, name)) return p.Target;
  }
  const Settings::NumberedSection section{
      number, std::string(catalogue::kAccountSections.Prefix) + std::to_string(number), {}};
  Settings::SectionFault(section, key,
                         "Die Signatur '" + name + "' wird in diesem Lauf nicht erstellt",
                         findings);
  return name;
}

}  // namespace

void ReadAccountSections(FindingList* findings) {
  AccountSections.clear();
  for (const Settings::NumberedSection& section :
       Settings::NumberedSections(std::string(catalogue::kAccountSections.Prefix), findings)) {
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
    AccountSections.push_back(std::move(account));
  }
}

void CheckAccountSectionNames(const std::vector<PlannedSignature>& plan, FindingList* findings) {
  for (AccountSection& section : AccountSections) {
    if (!section.NewSignature.empty())
      section.NewSignature =
          PlannedName(plan, section.Number, "NewSignature", section.NewSignature, findings);
    if (!section.ReplySignature.empty())
      section.ReplySignature =
          PlannedName(plan, section.Number, "ReplySignature", section.ReplySignature, findings);
  }
}

const AccountSection* AccountSectionFor(const std::string& accountName) {
  const auto section =
      std::find_if(AccountSections.begin(), AccountSections.end(),
                   [&](const AccountSection& s) { return LikeNoCase(accountName, s.Name); });
  return section == AccountSections.end() ? nullptr : &*section;
}

}  // namespace qm
