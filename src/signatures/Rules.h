// Signature rules: who gets which sign types, by group, place in the
// directory, user field and date. Sections [Rule1], [Rule2], ... of the
// configuration file, read in number order up to the first missing number.
// A rule matches when all its conditions hold (one without conditions always
// matches); for SignType and SignTypeReply each, the first matching rule that
// sets it replaces what the settings and the sources gave.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/clock.h"
#include "records/UserData.h"

namespace qm {

struct Rule {
  int Number = 0;
  std::optional<std::vector<std::string>> MemberOf;  ///< groups by DN or cn; empty names dropped
  std::optional<std::vector<std::string>> Below;     ///< distinguished names; empty ones dropped
  std::vector<std::pair<UserField, std::string>> Fields;  ///< a Like pattern per field
  std::optional<platform::Date> From;
  std::optional<platform::Date> Until;
  std::optional<std::string> SignType;       ///< lower case; set when not empty
  std::optional<std::string> SignTypeReply;  ///< lower case; set when not empty
};

/// The rules of the run, in number order.
extern std::vector<Rule> Rules;

/// What the rules decided, for the log and the preview.
struct RuleOutcomeRecord {
  bool Checked = false;                  ///< ApplyRules ran
  std::vector<int> Matching;             ///< numbers of the rules that matched
  std::optional<int> SignTypeRule;       ///< the rule that gave SignType
  std::optional<int> SignTypeReplyRule;  ///< the rule that gave SignTypeReply
};
extern RuleOutcomeRecord RuleOutcome;

/// Reads and checks every rule (run step 16, after the field mappings); logs
/// "Ermittle Regeln" and their number when there are any. Raises error 999
/// naming the rule for a key no rule knows, a malformed date, From after
/// Until, and a group or directory condition without "LDAPBaseObjectDN".
void ReadRules();

/// True when a rule needs the user's directory entry (MemberOf or Below), and
/// when one needs the user's groups (MemberOf).
bool RulesNeedDirectory();
bool RulesNeedGroups();

/// After the sources (and before the sign types are resolved): logs
/// "Prüfe Regeln" and one line per rule, and puts the sign types of the first
/// matching rules into UserData as values from a source. Without rules it
/// does nothing.
void ApplyRules(const platform::Date& today);

}  // namespace qm
