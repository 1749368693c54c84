// The mail accounts of the user's default profile as the registration found
// them, the account sections of the configuration file, and which account got
// which signature names: data only.
#pragma once

#include <string>
#include <vector>

namespace qm {

struct MailAccount {
  std::string Key;
  std::string Name;
};

/// A section [AccountN] of the configuration file: the accounts whose display
/// name matches Name (a Like pattern, without regard to case; the first
/// matching section wins) get its signature names instead of the run's. A
/// name is "" where the section names none; otherwise it is a signature the
/// run writes, spelt as the run writes it.
struct AccountSection {
  int Number = 0;
  std::string Name;
  std::string NewSignature;
  std::string ReplySignature;
};

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

}  // namespace qm
