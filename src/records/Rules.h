// The signature rules of the run as read from the sections [Rule1], [Rule2],
// ... of the configuration file, and what they decided for the user: data
// only. Reading, checking and applying them is signatures/Rules.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/clock.h"
#include "records/UserData.h"

namespace qm {

/// One rule: its conditions (all must hold; none means it always matches) and
/// the sign types it gives.
struct Rule {
  int Number = 0;
  std::optional<std::vector<std::string>> MemberOf;  ///< groups by DN or cn; empty names dropped
  std::optional<std::vector<std::string>> Below;     ///< distinguished names; empty ones dropped
  /// Like patterns for a mailbox's address; a rule with them holds only for
  /// the signatures of a mailbox (MailboxSignatures=1) whose address matches one.
  std::optional<std::vector<std::string>> Mailbox;
  std::vector<std::pair<UserField, std::string>> Fields;  ///< a Like pattern per field
  std::optional<platform::Date> From;
  std::optional<platform::Date> Until;
  std::optional<std::string> SignType;       ///< lower case; set when not empty
  std::optional<std::string> SignTypeReply;  ///< lower case; set when not empty
};

/// What the rules decided, for the log and the preview.
struct RuleOutcomeRecord {
  bool Checked = false;                  ///< the rules were applied
  std::vector<int> Matching;             ///< numbers of the rules that matched
  std::optional<int> SignTypeRule;       ///< the rule that gave SignType
  std::optional<int> SignTypeReplyRule;  ///< the rule that gave SignTypeReply
};

}  // namespace qm
