// Signature rules: who gets which sign types, by group, place in the
// directory, user field and date. Sections [Rule1], [Rule2], ... of the
// configuration file, read in number order up to the first missing number.
// A rule matches when all its conditions hold (one without conditions always
// matches); for SignType and SignTypeReply each, the first matching rule that
// sets it replaces what the settings and the sources gave.
#pragma once

#include "platform/clock.h"
#include "records/Findings.h"
#include "records/Membership.h"
#include "records/Rules.h"
#include "records/Run.h"
#include "records/UserData.h"

namespace qm {

/// Reads and checks every rule into Rules (run step 16, in the configuration
/// check before anything is written); logs "Ermittle Regeln" and their number
/// when there are any. Raises error 999 naming the section for a key no rule
/// knows, a malformed date, From after Until, a distinguished name that does
/// not parse, a group or directory condition without "LDAPBaseObjectDN", and
/// a value too long to be read whole; with findings (/CHECK) each of them is
/// one more finding instead, and the reading goes on.
void ReadRules(Run& run, FindingList* findings = nullptr);

/// True when a rule needs the user's directory entry (MemberOf or Below), and
/// when one needs the user's groups (MemberOf).
bool RulesNeedDirectory(const Run& run);
bool RulesNeedGroups(const Run& run);

/// True when the membership holds the group, named by its DN (a name with
/// "=", compared as distinguished names) or its cn (without regard to case).
bool IsMember(const MembershipRecord& membership, const std::string& group);

/// True when every condition of the rule holds for the data and place in the
/// directory (the user's, or with mailbox its address, a mailbox's) on that
/// day. An entry not in the directory (membership.UserDn empty) is below no DN
/// and in no group; a Mailbox condition holds only for a mailbox.
bool RuleMatches(const Rule& rule, const UserDataRecord& user, const MembershipRecord& membership,
                 const platform::Date& today, const std::string* mailbox = nullptr);

/// After the sources (and before the sign types are resolved): logs
/// "Prüfe Regeln" and one line per rule ("...Regel <n> für <address>" for a
/// mailbox), and puts the sign types of the first matching rules into user as
/// values from a source. The rules are the run's, on the run's day. Returns
/// what the rules decided; without rules it does nothing and returns an
/// unchecked outcome.
RuleOutcomeRecord ApplyRules(Run& run, UserDataRecord& user, const MembershipRecord& membership,
                             const std::string* mailbox = nullptr);

}  // namespace qm
