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
  Flag,    ///< on when its number is 1
  Choice,  ///< one of a few numbers or words, checked where it is read
};

struct Key {
  std::string_view Name;
  Reading Read = Reading::Text;
  /// The name followed by a number counted from 1 ("FixedSignTypeForDN1").
  bool Numbered = false;
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
    {"EmptySignatureFolder", Reading::Choice},
    {"EMailAccount"},
    {"SetForAllEMailAccounts", Reading::Flag},
    {"ModernOutlook", Reading::Flag},
    {"EscapeValues", Reading::Flag},
    {"DropEmptyLines", Reading::Flag},
    {"EscapeUserName", Reading::Flag},
    {"HidePasswordsInLog", Reading::Flag},
    {"LDAPEncryption", Reading::Choice},
    {"MailboxSignatures", Reading::Flag},
    {"TemplateConditions", Reading::Flag},
    {"ManagerData", Reading::Flag},
    {"ImageTypes"},
    {"RunStatus", Reading::Flag},
    {"EventLog", Reading::Choice},
    {"ReportFileErrors", Reading::Flag},
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
