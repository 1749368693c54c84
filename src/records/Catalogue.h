// The catalogue of what a configuration file can hold: the keys of section
// "Main" and of section "FieldMapping", and each kind of numbered section with
// its keys. The settings reader reads no key of "Main" or "FieldMapping" that
// is not listed here, /CHECK names every key of a file that is not (with the
// nearest one that is), and the README's configuration reference lists every
// one of them. A new key is one more line in its table.
#pragma once

#include <array>
#include <span>
#include <string_view>

#include "records/UserData.h"

namespace qm::catalogue {

/// How a value of "Main" is read, where /CHECK can tell a value that a run
/// takes otherwise than its writer meant ("yes" is off).
enum class Reading {
  Text,
  Flag,    ///< on when its number is 1; 0 (or empty) is off, nothing else is meant
  Choice,  ///< one of the key's Choices
};

/// The values of the choice keys besides the empty one. A value that is a
/// number is compared as a number ("02" is 2), a word without regard to case.
inline constexpr std::string_view kEmptyFolderChoices[] = {"0", "1", "2"};
inline constexpr std::string_view kEventLogChoices[] = {"0", "1", "2"};
inline constexpr std::string_view kEncryptionChoices[] = {"StartTLS", "LDAPS"};

struct Key {
  std::string_view Name;
  Reading Read = Reading::Text;
  /// The name followed by a number counted from 1 ("FixedSignTypeForDN1").
  bool Numbered = false;
  /// What a Choice key takes.
  std::span<const std::string_view> Choices = {};
  /// A value of a Flag or Choice key beyond its values ends a run with error
  /// 999 before anything is written. Without it a run reads such a value as
  /// off (or leaves the folder), and /CHECK warns.
  bool Refused = false;
};

inline constexpr Key kMainKeys[] = {
    {"LogFile"},
    {"AppDataPath"},
    {"TemplateFolder"},
    {"NoNewMessageSignature", Reading::Flag},
    {"NoReplyMessageSignature", Reading::Flag},
    {"PlaceholderSymbol"},
    {"FixedSignType"},
    {"FixedSignTypeNoMobile"},
    {"FixedSignTypeReply"},
    {"FixedSignTypeReplyNoMobile"},
    {"TargetSignType"},
    {"TargetSignTypeReply"},
    {"DatabaseConnection"},
    {"UserSelect"},
    {"LDAPReaderAccountName"},
    {"LDAPReaderAccountPassword"},
    {"LDAPReaderAccountFieldname"},
    {"LDAPFilter"},
    {"LDAPBaseObjectDN"},
    {"FixedSignTypeForDN", Reading::Text, true},
    {"FixedSignTypeReplyForDN", Reading::Text, true},
    {.Name = "EmptySignatureFolder", .Read = Reading::Choice, .Choices = kEmptyFolderChoices},
    {"EMailAccount"},
    {"SetForAllEMailAccounts", Reading::Flag},
    {.Name = "ModernOutlook", .Read = Reading::Flag, .Refused = true},
    {.Name = "EscapeValues", .Read = Reading::Flag, .Refused = true},
    {.Name = "DropEmptyLines", .Read = Reading::Flag, .Refused = true},
    {.Name = "EscapeUserName", .Read = Reading::Flag, .Refused = true},
    {.Name = "HidePasswordsInLog", .Read = Reading::Flag, .Refused = true},
    {.Name = "LDAPEncryption", .Read = Reading::Choice, .Choices = kEncryptionChoices, .Refused = true},
    {.Name = "MailboxSignatures", .Read = Reading::Flag, .Refused = true},
    {.Name = "TemplateConditions", .Read = Reading::Flag, .Refused = true},
    {.Name = "ManagerData", .Read = Reading::Flag, .Refused = true},
    {"ImageTypes"},
    {.Name = "RunStatus", .Read = Reading::Flag, .Refused = true},
    {.Name = "EventLog", .Read = Reading::Choice, .Choices = kEventLogChoices, .Refused = true},
    {.Name = "ReportFileErrors", .Read = Reading::Flag, .Refused = true},
    {.Name = "RemoveOldSignatures", .Read = Reading::Choice, .Choices = kEmptyFolderChoices, .Refused = true},
    {.Name = "ProtectSignatures", .Read = Reading::Flag, .Refused = true},
    {"AuditSelect"},
    {"AuditRequire"},
};

/// The keys of section "FieldMapping": the fields of the user data, in their
/// order, then whatever else a source fills.
inline constexpr std::string_view kFieldMappingKeys[] = {
    "FirstName",  "LastName",   "Initials", "Title",         "Phone",    "Fax",      "EMail",
    "SignTitle1", "SignTitle2", "SignType", "SignTypeReply", "Mobile",   "Postcode", "City",
    "Street",     "UserDef1",   "UserDef2", "UserDef3",      "UserDef4", "UserDef5", "UserDef6",
    "UserDef7",   "UserDef8",   "UserDef9", "UserDef10",     "Photo",
};
static_assert(
    [] {
      for (std::size_t i = 0; i < kUserFieldNames.size(); ++i) {
        if (kFieldMappingKeys[i] != kUserFieldNames[i]) return false;
      }
      return true;
    }(),
    "the first keys of FieldMapping are the fields of the user data, in their order");

/// A kind of numbered section: [Rule1], [Rule2], ... read in number order up
/// to the first missing number.
struct SectionKind {
  std::string_view Prefix;
  std::span<const std::string_view> Keys;
  /// The fields of the user data (but the sign types) are keys too: conditions.
  bool FieldConditions = false;
};

inline constexpr std::string_view kRuleKeys[] = {"MemberOf", "Below",    "Mailbox",      "From",
                                                 "Until",    "SignType", "SignTypeReply"};
inline constexpr std::string_view kAccountKeys[] = {"Name", "NewSignature", "ReplySignature"};

inline constexpr SectionKind kRuleSections{"Rule", kRuleKeys, true};
inline constexpr SectionKind kAccountSections{"Account", kAccountKeys, false};
inline constexpr std::array<const SectionKind*, 2> kSectionKinds = {&kRuleSections,
                                                                    &kAccountSections};

/// The two sections of fixed name.
inline constexpr std::string_view kMainSection = "Main";
inline constexpr std::string_view kFieldMappingSection = "FieldMapping";

}  // namespace qm::catalogue
