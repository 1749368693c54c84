// The mail accounts of the user's default profile as the registration found
// them, and which account got which signature names: data only.
#pragma once

#include <string>
#include <vector>

namespace qm {

struct MailAccount {
  std::string Key;
  std::string Name;
};
extern std::vector<MailAccount> MailAccounts;

/// An account whose defaults the run registered where account sections are
/// configured: its subkey and display name, the section that chose its names
/// (0: none) and the names it got ("" for a value the run left out).
struct AccountDefaults {
  std::string Key;
  std::string Account;
  int Section = 0;
  std::string NewName;
  std::string ReplyName;
};
extern std::vector<AccountDefaults> AccountAssignments;

}  // namespace qm
