// Signature rules: reading and checking them, and applying them to a user's
// data.
#include "signatures/Rules.h"

#include <algorithm>

#include "log/modHelper.h"
#include "platform/common/text.h"
#include "records/Settings.h"
#include "support/DistinguishedNames.h"
#include "support/Like.h"
#include "support/modTools.h"

namespace qm {

namespace {

using platform::text::EqualsNoCase;

// The day a key names; nullopt after a fault reported into findings.
std::optional<platform::Date> RuleDate(const Settings::NumberedSection& section,
                                       const std::string& key, const std::string& value,
                                       FindingList* findings) {
  const std::optional<platform::Date> date = ParseDate(value);
  if (!date) {
    Settings::SectionFault(
        section, key, "Ungültiges Datum '" + value + "' für '" + key + "' (erwartet JJJJ-MM-TT)",
        findings);
  }
  return date;
}

// The distinguished names of a condition; a group may also be named by its cn
// (a name without "="). A name that does not parse would never match, so it
// ends the run before anything is written.
std::vector<std::string> DnList(const Settings::NumberedSection& section, const std::string& key,
                                const std::string& value, bool cnAllowed, FindingList* findings) {
  std::vector<std::string> names = SplitNameList(value);
  for (const std::string& name : names) {
    if (cnAllowed && name.find('=') == std::string::npos) continue;
    if (!ParseDn(name)) {
      Settings::SectionFault(section, key, "Ungültiger DN '" + name + "' in '" + key + "'",
                             findings);
    }
  }
  return names;
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

Rule ReadRule(const Settings::NumberedSection& section, FindingList* findings) {
  Rule rule;
  rule.Number = section.Number;
  for (const auto& [key, value] : section.Values) {
    if (EqualsNoCase(key, "MemberOf")) {
      rule.MemberOf = DnList(section, key, value, true, findings);
    } else if (EqualsNoCase(key, "Below")) {
      rule.Below = DnList(section, key, value, false, findings);
    } else if (EqualsNoCase(key, "Mailbox")) {
      rule.Mailbox = SplitNameList(value);
    } else if (EqualsNoCase(key, "From")) {
      rule.From = RuleDate(section, key, value, findings);
    } else if (EqualsNoCase(key, "Until")) {
      rule.Until = RuleDate(section, key, value, findings);
    } else if (EqualsNoCase(key, "SignType")) {
      if (!value.empty()) rule.SignType = ToLower(value);
    } else if (EqualsNoCase(key, "SignTypeReply")) {
      if (!value.empty()) rule.SignTypeReply = ToLower(value);
    } else if (const std::optional<UserField> field = ConditionField(key)) {
      rule.Fields.emplace_back(*field, value);
    } else {
      // A mistyped condition must never turn the rule into one that always matches.
      Settings::UnknownKeyFault(section, catalogue::kRuleSections, key, findings);
    }
  }
  if (rule.From && rule.Until && *rule.From > *rule.Until) {
    Settings::SectionFault(section, "From",
                           "'From' (" + DateText(*rule.From) + ") liegt nach 'Until' (" +
                               DateText(*rule.Until) + ")",
                           findings);
  }
  return rule;
}

}  // namespace

bool IsMember(const MembershipRecord& membership, const std::string& name) {
  const bool byDn = name.find('=') != std::string::npos;
  return std::any_of(membership.Groups.begin(), membership.Groups.end(),
                     [&](const DirectoryGroup& g) {
                       return byDn ? SameDn(g.Dn, name) : EqualsNoCase(g.Cn, name);
                     });
}

void ReadRules(Run& run, FindingList* findings) {
  run.Rules.clear();
  const std::vector<Settings::NumberedSection> sections =
      Settings::NumberedSections(run, std::string(catalogue::kRuleSections.Prefix), findings);
  if (sections.empty()) return;
  WriteLog(run, "Ermittle Regeln");
  for (const Settings::NumberedSection& section : sections)
    run.Rules.push_back(ReadRule(section, findings));
  WriteLog(run, "...Anzahl Regeln|" + std::to_string(run.Rules.size()));
  if (!RulesNeedDirectory(run) || !Settings::Main(run, "LDAPBaseObjectDN").empty()) return;
  for (size_t i = 0; i < run.Rules.size(); ++i) {
    if (run.Rules[i].MemberOf || run.Rules[i].Below) {
      const std::string key = run.Rules[i].MemberOf ? "MemberOf" : "Below";
      Settings::SectionFault(sections[i], key,
                             "'" + key +
                                 "' braucht das Active Directory, doch in 'LDAPBaseObjectDN' ist "
                                 "kein DN konfiguriert",
                             findings);
    }
  }
}

bool RulesNeedDirectory(const Run& run) {
  return std::any_of(run.Rules.begin(), run.Rules.end(),
                     [](const Rule& r) { return r.MemberOf || r.Below; });
}

bool RulesNeedGroups(const Run& run) {
  return std::any_of(run.Rules.begin(), run.Rules.end(),
                     [](const Rule& r) { return r.MemberOf.has_value(); });
}

bool RuleMatches(const Rule& rule, const UserDataRecord& user, const MembershipRecord& membership,
                 const platform::Date& today, const std::string* mailbox) {
  if (rule.Mailbox && (mailbox == nullptr ||
                       std::none_of(rule.Mailbox->begin(), rule.Mailbox->end(),
                                    [&](const std::string& p) { return LikeNoCase(*mailbox, p); })))
    return false;
  if (rule.From && today < *rule.From) return false;
  if (rule.Until && today > *rule.Until) return false;
  for (const auto& [field, pattern] : rule.Fields) {
    if (!LikeNoCase(user[field], pattern)) return false;
  }
  if (rule.Below && std::none_of(rule.Below->begin(), rule.Below->end(), [&](const std::string& dn) {
        return IsBelow(membership.UserDn, dn);
      })) {
    return false;
  }
  if (rule.MemberOf &&
      std::none_of(rule.MemberOf->begin(), rule.MemberOf->end(),
                   [&](const std::string& name) { return IsMember(membership, name); }))
    return false;
  return true;
}

RuleOutcomeRecord ApplyRules(Run& run, UserDataRecord& user, const MembershipRecord& membership,
                             const std::string* mailbox) {
  const std::vector<Rule>& rules = run.Rules;
  const platform::Date& today = run.RunState.Today;
  RuleOutcomeRecord outcome;
  if (rules.empty()) return outcome;
  // A mailbox's lines name it; the user's read as they always have.
  const std::string forMailbox = mailbox != nullptr ? " für " + *mailbox : "";
  WriteLog(run, "Prüfe Regeln" + forMailbox);
  outcome.Checked = true;
  const Rule* signType = nullptr;
  const Rule* signTypeReply = nullptr;
  for (const Rule& rule : rules) {
    const bool match = RuleMatches(rule, user, membership, today, mailbox);
    WriteLog(run, "...Regel " + std::to_string(rule.Number) + forMailbox + "|" +
             (match ? "trifft zu" : "trifft nicht zu"));
    if (!match) continue;
    outcome.Matching.push_back(rule.Number);
    if (signType == nullptr && rule.SignType) signType = &rule;
    if (signTypeReply == nullptr && rule.SignTypeReply) signTypeReply = &rule;
  }
  // A rule's sign types count as a source's: the rule for users without a
  // mobile number leaves them alone.
  if (signType != nullptr) {
    user[UserField::SignType] = *signType->SignType;
    user.SignTypeFromSource = true;
    outcome.SignTypeRule = signType->Number;
    WriteLog(run, "...SignTypes aus Regel " + std::to_string(signType->Number) + forMailbox + "|" +
             *signType->SignType);
  }
  if (signTypeReply != nullptr) {
    user[UserField::SignTypeReply] = *signTypeReply->SignTypeReply;
    user.SignTypeReplyFromSource = true;
    outcome.SignTypeReplyRule = signTypeReply->Number;
    WriteLog(run, "...SignTypes für Antworten aus Regel " + std::to_string(signTypeReply->Number) +
             forMailbox + "|" + *signTypeReply->SignTypeReply);
  }
  return outcome;
}

}  // namespace qm
