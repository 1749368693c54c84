// Signature rules: reading them, checking them, and applying them to the
// user's data.
#include "signatures/Rules.h"

#include <algorithm>

#include "log/modHelper.h"
#include "platform/common/text.h"
#include "records/Membership.h"
#include "records/Settings.h"
#include "support/DistinguishedNames.h"
#include "support/Like.h"
#include "support/modTools.h"

namespace qm {

std::vector<Rule> Rules;
RuleOutcomeRecord RuleOutcome;

namespace {

using platform::text::EqualsNoCase;

constexpr const char* kRulePrefix = "Rule";

std::string RuleName(int number) { return "Regel " + std::to_string(number); }

// The names of a list separated by ";", trimmed, empty ones dropped.
std::vector<std::string> Names(const std::string& value) {
  std::vector<std::string> names;
  for (const std::string& name : Split(value, ";")) {
    std::string trimmed = Trim(name);
    if (!trimmed.empty()) names.push_back(std::move(trimmed));
  }
  return names;
}

platform::Date RuleDate(int number, const std::string& key, const std::string& value) {
  const std::optional<platform::Date> date = ParseDate(value);
  if (!date) {
    RaiseError(RuleName(number) + ": Ungültiges Datum '" + value + "' für '" + key +
               "' (erwartet JJJJ-MM-TT)");
  }
  return *date;
}

// The field of section "FieldMapping" that a rule key names as a condition;
// the sign types are the rule's results, not conditions.
std::optional<UserField> ConditionField(const std::string& key) {
  for (int i = 0; i < kUserFieldCount; ++i) {
    const auto field = static_cast<UserField>(i);
    if (field == UserField::SignType || field == UserField::SignTypeReply) continue;
    if (EqualsNoCase(key, kUserFieldNames[static_cast<size_t>(i)])) return field;
  }
  return std::nullopt;
}

Rule ReadRule(int number) {
  Rule rule;
  rule.Number = number;
  const std::string section = kRulePrefix + std::to_string(number);
  for (const std::string& key : Settings::KeyNames(section)) {
    const std::string value = Settings::Value(section, key);
    if (EqualsNoCase(key, "MemberOf")) {
      rule.MemberOf = Names(value);
    } else if (EqualsNoCase(key, "Below")) {
      rule.Below = Names(value);
    } else if (EqualsNoCase(key, "From")) {
      rule.From = RuleDate(number, key, value);
    } else if (EqualsNoCase(key, "Until")) {
      rule.Until = RuleDate(number, key, value);
    } else if (EqualsNoCase(key, "SignType")) {
      if (!value.empty()) rule.SignType = ToLower(value);
    } else if (EqualsNoCase(key, "SignTypeReply")) {
      if (!value.empty()) rule.SignTypeReply = ToLower(value);
    } else if (const std::optional<UserField> field = ConditionField(key)) {
      rule.Fields.emplace_back(*field, value);
    } else {
      // A mistyped condition must never turn the rule into one that always matches.
      RaiseError(RuleName(number) + ": Unbekannter Schlüssel '" + key + "'");
    }
  }
  if (rule.From && rule.Until && *rule.From > *rule.Until) {
    RaiseError(RuleName(number) + ": 'From' (" + DateText(*rule.From) + ") liegt nach 'Until' (" +
               DateText(*rule.Until) + ")");
  }
  return rule;
}

bool InGroup(const std::string& name) {
  const bool byDn = name.find('=') != std::string::npos;
  return std::any_of(Membership.Groups.begin(), Membership.Groups.end(),
                     [&](const DirectoryGroup& g) {
                       return byDn ? SameDn(g.Dn, name) : EqualsNoCase(g.Cn, name);
                     });
}

bool Matches(const Rule& rule, const platform::Date& today) {
  if (rule.From && today < *rule.From) return false;
  if (rule.Until && today > *rule.Until) return false;
  for (const auto& [field, pattern] : rule.Fields) {
    if (!LikeNoCase(UserData[field], pattern)) return false;
  }
  if (rule.Below && std::none_of(rule.Below->begin(), rule.Below->end(), [](const std::string& dn) {
        return IsBelow(Membership.UserDn, dn);
      })) {
    return false;
  }
  if (rule.MemberOf && std::none_of(rule.MemberOf->begin(), rule.MemberOf->end(), InGroup))
    return false;
  return true;
}

}  // namespace

void ReadRules() {
  Rules.clear();
  const int count = Settings::NumberedSectionCount(kRulePrefix);
  if (count == 0) return;
  WriteLog("Ermittle Regeln");
  for (int n = 1; n <= count; ++n) Rules.push_back(ReadRule(n));
  WriteLog("...Anzahl Regeln|" + std::to_string(count));
  if (!RulesNeedDirectory() || !Settings::Main("LDAPBaseObjectDN").empty()) return;
  for (const Rule& rule : Rules) {
    if (rule.MemberOf || rule.Below) {
      RaiseError(
          RuleName(rule.Number) + ": '" + (rule.MemberOf ? "MemberOf" : "Below") +
          "' braucht das Active Directory, doch in 'LDAPBaseObjectDN' ist kein DN konfiguriert");
    }
  }
}

bool RulesNeedDirectory() {
  return std::any_of(Rules.begin(), Rules.end(),
                     [](const Rule& r) { return r.MemberOf || r.Below; });
}

bool RulesNeedGroups() {
  return std::any_of(Rules.begin(), Rules.end(),
                     [](const Rule& r) { return r.MemberOf.has_value(); });
}

void ApplyRules(const platform::Date& today) {
  if (Rules.empty()) return;
  WriteLog("Prüfe Regeln");
  RuleOutcome = RuleOutcomeRecord{};
  RuleOutcome.Checked = true;
  const Rule* signType = nullptr;
  const Rule* signTypeReply = nullptr;
  for (const Rule& rule : Rules) {
    const bool match = Matches(rule, today);
    WriteLog("...Regel " + std::to_string(rule.Number) + "|" +
             (match ? "trifft zu" : "trifft nicht zu"));
    if (!match) continue;
    RuleOutcome.Matching.push_back(rule.Number);
    if (signType == nullptr && rule.SignType) signType = &rule;
    if (signTypeReply == nullptr && rule.SignTypeReply) signTypeReply = &rule;
  }
  // A rule's sign types count as a source's: the rule for users without a
  // mobile number leaves them alone.
  if (signType != nullptr) {
    UserData[UserField::SignType] = *signType->SignType;
    UserData.SignTypeFromSource = true;
    RuleOutcome.SignTypeRule = signType->Number;
    WriteLog("...SignTypes aus Regel " + std::to_string(signType->Number) + "|" +
             *signType->SignType);
  }
  if (signTypeReply != nullptr) {
    UserData[UserField::SignTypeReply] = *signTypeReply->SignTypeReply;
    UserData.SignTypeReplyFromSource = true;
    RuleOutcome.SignTypeReplyRule = signTypeReply->Number;
    WriteLog("...SignTypes für Antworten aus Regel " + std::to_string(signTypeReply->Number) + "|" +
             *signTypeReply->SignTypeReply);
  }
}

}  // namespace qm
