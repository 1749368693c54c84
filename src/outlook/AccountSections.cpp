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

constexpr const char* kAccountPrefix = "Account";

std::string SectionName(int number) { return kAccountPrefix + std::to_string(number); }

// The planned signature a section names, as the plan writes it; error 999 for
// a name the run does not write (the default would name a file that is not there).
std::string PlannedName(const std::vector<PlannedSignature>& plan, int number,
                        const std::string& name) {
  for (const PlannedSignature& p : plan) {
    if (!p.Skipped && EqualsNoCase(p.Target, name)) return p.Target;
  }
  RaiseError("Abschnitt '" + SectionName(number) + "': Die Signatur '" + name +
             "' wird in diesem Lauf nicht erstellt");
}

}  // namespace

void ReadAccountSections() {
  AccountSections.clear();
  for (const Settings::NumberedSection& section : Settings::NumberedSections(kAccountPrefix)) {
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
        Settings::RaiseUnknownKey(section, key);
      }
    }
    if (account.Name.empty()) Settings::RaiseSectionError(section, "'Name' fehlt");
    AccountSections.push_back(std::move(account));
  }
}

void CheckAccountSectionNames(const std::vector<PlannedSignature>& plan) {
  for (AccountSection& section : AccountSections) {
    if (!section.NewSignature.empty())
      section.NewSignature = PlannedName(plan, section.Number, section.NewSignature);
    if (!section.ReplySignature.empty())
      section.ReplySignature = PlannedName(plan, section.Number, section.ReplySignature);
  }
}

const AccountSection* AccountSectionFor(const std::string& accountName) {
  const auto section =
      std::find_if(AccountSections.begin(), AccountSections.end(),
                   [&](const AccountSection& s) { return LikeNoCase(accountName, s.Name); });
  return section == AccountSections.end() ? nullptr : &*section;
}

}  // namespace qm
