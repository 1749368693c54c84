// Outlook's version, the user's default profile and its mail accounts, and the
// registry entries that make the new signatures Outlook's defaults.
#include "outlook/modOutlook.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <limits>
#include <optional>
#include <string_view>

#include "log/modHelper.h"
#include "outlook/AccountSections.h"
#include "platform/codepage.h"
#include "platform/common/text.h"
#include "platform/error.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "records/Mailboxes.h"
#include "records/RunState.h"
#include "records/Settings.h"
#include "support/Like.h"
#include "support/clsRegistry.h"
#include "support/modTools.h"

namespace qm {

namespace {

// A registry object of the run: in a simulation its writes are recorded, not made.
clsRegistry RegistryFor(const Run& run) {
  clsRegistry r;
  r.Redirect = run.RegistryRedirect;
  return r;
}

namespace reg = platform::registry;

constexpr const char* kProfilesKey =
    "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging Subsystem\\Profiles";
constexpr const char* kAccountsSubkey = "\\9375CFF0413111d3B88A00104B2A6676";
constexpr const char* kAccountListValue = "{ED475418-B0D6-11D2-8C3B-00104B2A6676}";

// How a version takes its default signatures.
enum class Registration {
  Profile,       // Outlook 2000: one signature per profile, under the name as read
  MailSettings,  // Outlook XP: one pair of values for all profiles
  Accounts,      // Outlook 2003 and later: a pair of values in every mail account
};

// Where a version keeps its mail profiles. Up to Outlook 2010 they live in the
// Windows Messaging Subsystem under key names with umlauts rewritten; Outlook
// 2013 moved them below its own Office key (it can be installed beside other
// versions) and names the keys with the profile name as it is.
enum class ProfileHome { None, MessagingSubsystem, OfficeOutlook };

// What the program knows of one Outlook major version. Adding a version is
// adding a row.
struct VersionInfo {
  std::int32_t major;
  const char* name;               // OutlookVersionName
  bool needsModernOutlook;        // named and registered only with ModernOutlook=1
  Registration registration;
  ProfileHome profileHome;        // where "DefaultProfile" and the profiles are
  bool encodedProfileNames;       // account key paths carry the encoded profile name
  bool accountNameMayBeText;      // "Account Name" is 16-bit bytes or, from 2010 on, text
  std::uint32_t signatureType;    // type of "New Signature" / "Reply-Forward Signature"
  bool roamingSwitch;             // DisableRoamingSignaturesTemporaryToggle
  bool localizedFolder;           // the signature folder's name is in Common\General
  bool sendPicturesSwitch;        // linked images travel only with "Send Pictures With Document"
};

constexpr std::array<VersionInfo, 7> kVersions = {{
    {9, "2000", false, Registration::Profile, ProfileHome::MessagingSubsystem, false, false,
     reg::kTypeString, false, false, false},
    {10, "XP", false, Registration::MailSettings, ProfileHome::None, false, false,
     reg::kTypeExpandString, false, false, false},
    {11, "2003", false, Registration::Accounts, ProfileHome::MessagingSubsystem, true, false,
     reg::kTypeBinary, false, false, false},
    {12, "2007", false, Registration::Accounts, ProfileHome::MessagingSubsystem, true, false,
     reg::kTypeBinary, false, false, false},
    // From 2010 on, Outlook names the signature folder in the language of the
    // installation ("Signaturen" in German), and sends the images an htm
    // signature links to only when a per-user option says so; without it the
    // recipient sees a red cross.
    {14, "2010", true, Registration::Accounts, ProfileHome::MessagingSubsystem, true, true,
     reg::kTypeBinary, false, true, true},
    {15, "2013", true, Registration::Accounts, ProfileHome::OfficeOutlook, false, true,
     reg::kTypeBinary, false, true, true},
    // 16 stands for 2016 and everything after it (2019, 2021, 2024, Microsoft 365),
    // which keeps the signature names as strings. Microsoft 365 replaces local
    // signatures and their defaults with the ones stored in the mailbox unless a
    // per-user switch is set.
    {16, "2016", true, Registration::Accounts, ProfileHome::OfficeOutlook, false, true,
     reg::kTypeString, true, true, true},
}};

// The folder name every version without a recorded name uses.
constexpr const char* kDefaultSignatureFolder = "Signatures";

// The row of a version, whatever ModernOutlook says; nullptr for an unknown one.
const VersionInfo* FindVersion(std::int32_t major) {
  for (const VersionInfo& v : kVersions) {
    if (v.major == major) return &v;
  }
  return nullptr;
}

// The row of a version as this run sees it: later versions only when asked
// for, otherwise they are unknown ones.
const VersionInfo* KnownVersion(const Run& run, std::int32_t major) {
  const VersionInfo* v = FindVersion(major);
  return v != nullptr && (!v->needsModernOutlook || run.RunState.ModernOutlook) ? v : nullptr;
}

std::string OfficeKey(std::int32_t version) {
  return "Software\\Microsoft\\Office\\" + std::to_string(version) + ".0";
}

std::string OfficeOutlookKey(std::int32_t version) { return OfficeKey(version) + "\\Outlook"; }

std::string ProfilesKey(const VersionInfo& version) {
  return version.profileHome == ProfileHome::OfficeOutlook ? OfficeOutlookKey(version.major) + "\\Profiles"
                                                           : std::string(kProfilesKey);
}

// The account key of the profile; profile is the name as the version's key
// names carry it (see ProfileKeyName).
std::string AccountKeyPath(const VersionInfo& version, const std::string& profile) {
  return ProfilesKey(version) + "\\" + profile + kAccountsSubkey;
}

// The caller's profile text made the version's key name, in place.
void ProfileKeyName(const VersionInfo& version, std::string& profile) {
  if (version.encodedProfileNames) EncodeProfileName(profile);
}

// The row for the account operations; the callers pass 11 and later.
const VersionInfo& AccountVersion(std::int32_t major) {
  const VersionInfo* v = FindVersion(major);
  return v != nullptr && v->registration == Registration::Accounts ? *v : *FindVersion(12);
}

// The bytes of a binary value; a value of another type cannot be converted.
std::vector<std::uint8_t> AsBytes(const RegistryValue& v) {
  if (const auto* b = std::get_if<std::vector<std::uint8_t>>(&v)) return *b;
  RaiseRuntimeError(err::kTypeMismatch);
}

// The display name in "Account Name": 16-bit text, zero bytes skipped; with
// textAllowed a string value is taken as it is.
std::string AccountName(const std::string& accountKey, bool textAllowed) {
  clsRegistry r;
  r.ClassKey = reg::kCurrentUser;
  r.SectionKey = accountKey;
  r.ValueKey = "Account Name";
  RegistryValue v = r.Value();
  if (std::holds_alternative<std::monostate>(v)) return {};
  if (const auto* t = std::get_if<std::string>(&v); t != nullptr && textAllowed) return *t;
  return BytesToString(AsBytes(v), true);
}

// 16-bit text of the name: 2n + 4 zeroed bytes, of which the write stores 2n + 2.
std::vector<std::uint8_t> WideBytes(const std::string& name) {
  std::vector<std::uint8_t> bytes(2 * WideLength(name) + 4, 0);
  StringToBytes(name, bytes, true);
  return bytes;
}

// A signature name as the version stores it: a string, or 16-bit bytes.
RegistryValue SignatureValue(const VersionInfo& version, const std::string& name) {
  if (version.signatureType == reg::kTypeBinary) return WideBytes(name);
  return name;
}

// One value to write: its name and its data.
struct NamedValue {
  const char* name;
  RegistryValue data;
};

// The two default signatures in the key of r, each left out by its switch.
void SetSignaturePair(Run& run, clsRegistry& r, const NamedValue& newMessage, const NamedValue& reply) {
  if (!run.RunState.NoNewMessageSignature) {
    r.ValueKey = newMessage.name;
    r.SetValue(newMessage.data);
    WriteLog(run, std::string("-> ...Eintrag '") + newMessage.name + "' hinzugefügt bzw. gesetzt");
  }
  if (!run.RunState.NoReplyMessageSignature) {
    r.ValueKey = reply.name;
    r.SetValue(reply.data);
    WriteLog(run, std::string("-> ...Eintrag '") + reply.name + "' hinzugefügt bzw. gesetzt");
  }
}

// A per-user option of Outlook turned on: DWORD 1 below HKEY_CURRENT_USER.
void SetSwitch(Run& run, const std::string& key, const std::string& name) {
  clsRegistry r = RegistryFor(run);
  r.ClassKey = reg::kCurrentUser;
  r.SectionKey = key;
  r.ValueKey = name;
  r.ValueType = static_cast<std::int32_t>(reg::kTypeDword);
  r.SetValue(std::int32_t{1});
  WriteLog(run, "-> ...Eintrag '" + name + "' hinzugefügt bzw. gesetzt");
}

// The accounts listed in the account key of the profile (its name as the
// version's key names carry it), in list order.
std::vector<MailAccount> ListMailAccounts(const VersionInfo& version, const std::string& profile) {
  const std::string accountKey = AccountKeyPath(version, profile);
  clsRegistry r;
  r.ClassKey = reg::kCurrentUser;
  r.SectionKey = accountKey;
  r.ValueKey = kAccountListValue;
  const std::vector<std::uint8_t> bytes = AsBytes(r.Value());
  // The list holds the accounts' subkey names as 4-byte groups, written out
  // as 8 hexadecimal digits in stored order.
  constexpr size_t kKeyDigits = 8;
  std::vector<MailAccount> accounts;
  std::string group;
  for (std::uint8_t b : bytes) {
    group += HexString(b, 2);
    if (group.size() != kKeyDigits) continue;
    accounts.push_back({group, AccountName(accountKey + "\\" + group, version.accountNameMayBeText)});
    group.clear();
  }
  return accounts;
}

// The profile an audit takes a user's to be: one account per address, in
// order, under the subkeys Outlook gives the first accounts of a profile.
constexpr const char* kAuditedProfile = "Outlook";
// Outlook 2016 and later (Microsoft 365 included) carry major version 16.
constexpr std::int32_t kAuditedOutlookVersion = 16;

std::vector<MailAccount> AuditedAccounts(const AuditedUser& user) {
  constexpr std::int32_t kKeyDigits = 8;
  std::vector<MailAccount> accounts;
  for (size_t i = 0; i < user.Accounts.size(); ++i)
    accounts.push_back({HexString(static_cast<std::int32_t>(i + 1), kKeyDigits), user.Accounts[i]});
  return accounts;
}

// The subkey of an audit's account of that name; "" for none.
std::string AuditedAccountKey(const AuditedUser& user, const std::string& accountName) {
  for (const MailAccount& account : AuditedAccounts(user)) {
    if (account.Name == accountName) return account.Key;
  }
  return {};
}

// The default profile of the run's user.
std::string DefaultProfile(const Run& run, std::int32_t version) {
  return run.Audited ? kAuditedProfile : GetDefaultProfile(version);
}

// The accounts of the profile, read once per run: the account sections'
// check, the mailboxes and the registration each take the same list.
std::vector<MailAccount> ProfileAccountList(Run& run, const VersionInfo& version, const std::string& profile) {
  if (run.Audited) return AuditedAccounts(*run.Audited);
  const std::string key = AccountKeyPath(version, profile);
  if (!run.ProfileAccounts || run.ProfileAccounts->first != key) {
    run.ProfileAccounts.emplace(key, ListMailAccounts(version, profile));
  }
  return run.ProfileAccounts->second;
}

// One account to write, with the names it gets.
struct AccountTarget {
  MailAccount account;
  int section = 0;
  std::string newName;
  std::string replyName;
};

// The accounts the run writes besides (or instead of) the usual ones: every
// account of the profile that a section names gets that section's names; one
// the run writes anyway keeps its place, the others follow in list order.
void AddSectionAccounts(Run& run, std::vector<AccountTarget>& targets, const std::vector<MailAccount>& accounts,
                        const std::string& newName, const std::string& replyName) {
  WriteLog(run, "-> Prüfe Konto-Abschnitte");
  for (const MailAccount& account : accounts) {
    const AccountSection* section = AccountSectionFor(run, account.Name);
    if (section == nullptr) continue;
    WriteLog(run, "-> ...Abschnitt Account" + std::to_string(section->Number) + "|" + account.Name);
    auto target = std::find_if(targets.begin(), targets.end(), [&](const AccountTarget& t) {
      return SameKeyName(t.account.Key, account.Key);
    });
    if (target == targets.end()) {
      targets.push_back({account, 0, newName, replyName});
      target = targets.end() - 1;
    }
    target->section = section->Number;
    if (!section->NewSignature.empty()) target->newName = section->NewSignature;
    if (!section->ReplySignature.empty()) target->replyName = section->ReplySignature;
  }
}

// The mailbox an account belongs to; nullptr for an account without an address.
const MailboxRecord* MailboxOf(const Run& run, const std::string& accountKey) {
  for (const MailboxRecord& m : run.Mailboxes) {
    if (std::any_of(m.AccountKeys.begin(), m.AccountKeys.end(),
                    [&](const std::string& key) { return SameKeyName(key, accountKey); }))
      return &m;
  }
  return nullptr;
}

// Every account with an address gets its mailbox's own signatures, the first
// of each of its lists, as Outlook names them: "<target> (<address>)"; one
// whose mailbox has none of its own (its files would be another mailbox's)
// the user's. One the run writes anyway keeps its place, the others follow in
// list order.
void AddMailboxAccounts(Run& run, std::vector<AccountTarget>& targets, const std::vector<MailAccount>& accounts,
                        const std::string& userNewName, const std::string& userReplyName) {
  for (const MailAccount& account : accounts) {
    const MailboxRecord* mailbox = MailboxOf(run, account.Key);
    if (mailbox == nullptr) {
      const bool userSet = std::any_of(run.AccountsWithUserSignatures.begin(), run.AccountsWithUserSignatures.end(),
                                       [&](const std::string& key) { return SameKeyName(key, account.Key); });
      const bool written = std::any_of(targets.begin(), targets.end(), [&](const AccountTarget& t) {
        return SameKeyName(t.account.Key, account.Key);
      });
      if (userSet && !written) targets.push_back({account, 0, userNewName, userReplyName});
      continue;
    }
    const SignTypeListSet& lists = mailbox->Lists;
    const std::string newName = lists.TargetSignTypes.front() + mailbox->NameSuffix;
    const bool replies = !mailbox->Data[UserField::SignTypeReply].empty() &&
                         !lists.TargetSignTypesReply.front().empty();
    const std::string replyName =
        replies ? lists.TargetSignTypesReply.front() + mailbox->NameSuffix : newName;
    auto target = std::find_if(targets.begin(), targets.end(), [&](const AccountTarget& t) {
      return SameKeyName(t.account.Key, account.Key);
    });
    if (target == targets.end()) {
      targets.push_back({account, 0, newName, replyName});
    } else {
      target->newName = newName;
      target->replyName = replyName;
    }
  }
}

// The account-based registration of Outlook 2003 and later: the default
// profile's accounts, then both signature names in each account to set.
void SetAccountSignatures(Run& run, const std::string& newName, const std::string& replyName,
                          const VersionInfo& version) {
  const bool sections = !run.AccountSections.empty();
  WriteLog(run, "-> Ermittle Outlook-Profil");
  std::string profile = DefaultProfile(run, version.major);
  if (profile.empty()) RaiseError("Das Outlook-Profil konnte nicht aus der Registry ermittelt werden");
  WriteLog(run, "-> ...Outlook-Profil|" + profile);
  run.MailAccounts.assign(1, MailAccount{});
  const std::string account = Settings::EMailAccount(run);
  const bool setAll = Settings::SetForAllEMailAccounts(run);
  size_t last = 0;
  if (account.empty()) {
    WriteLog(run, "-> Ermittle E-Mail-Konten");
    ReadMailAccounts(run, profile, version.major);
    last = setAll ? run.MailAccounts.size() - 1 : 0;
    WriteLog(run, "-> ...Anzahl E-Mail-Konten|" + std::to_string(run.MailAccounts.size()));
    WriteLog(run, "-> ...Standard-E-Mail-Konto|" + run.MailAccounts[0].Name);
  } else {
    run.MailAccounts[0].Name = account;
    run.MailAccounts[0].Key = run.Audited ? AuditedAccountKey(*run.Audited, account)
                                          : FindAccountKey(profile, account, version.major);
    if (run.MailAccounts[0].Key.empty()) {
      RaiseError("Der Registry-Schlüssel für den konfigurierten EMail-Account '" + account +
                 "' konnte nicht ermittelt werden");
    }
    WriteLog(run, "-> Verwende konfiguriertes E-Mail-Konto|" + NullToDefault(account, ""));
  }
  std::vector<AccountTarget> targets;
  for (size_t i = 0; i <= last; ++i) targets.push_back({run.MailAccounts[i], 0, newName, replyName});
  const bool perMailbox = !run.Mailboxes.empty();
  if (sections || perMailbox) {
    // The profile text is the account key's name by now.
    // The list was read already unless one account is configured.
    std::vector<MailAccount> listed;
    if (account.empty()) {
      std::copy_if(run.MailAccounts.begin(), run.MailAccounts.end(), std::back_inserter(listed),
                   [](const MailAccount& a) { return !a.Key.empty(); });
    } else {
      listed = ProfileAccountList(run, version, profile);
    }
    if (perMailbox) AddMailboxAccounts(run, targets, listed, newName, replyName);
    if (sections) AddSectionAccounts(run, targets, listed, newName, replyName);
    run.AccountAssignments.clear();
  }
  clsRegistry r = RegistryFor(run);
  r.ClassKey = reg::kCurrentUser;
  r.ValueType = static_cast<std::int32_t>(version.signatureType);
  for (size_t i = 0; i < targets.size(); ++i) {
    const AccountTarget& t = targets[i];
    r.SectionKey = AccountKeyPath(version, profile) + "\\" + t.account.Key;
    WriteLog(run, "-> Bearbeite Registry für " + std::to_string(i + 1) + ". EMail-Konto |" + t.account.Name);
    SetSignaturePair(run, r, {"New Signature", SignatureValue(version, t.newName)},
                     {"Reply-Forward Signature", SignatureValue(version, t.replyName)});
    if (sections || perMailbox) {
      run.AccountAssignments.push_back({t.account.Key, t.account.Name, t.section,
                                    run.RunState.NoNewMessageSignature ? std::string() : t.newName,
                                    run.RunState.NoReplyMessageSignature ? std::string() : t.replyName});
    }
  }
  if (version.roamingSwitch) {
    SetSwitch(run, OfficeOutlookKey(version.major) + "\\Setup",
              "DisableRoamingSignaturesTemporaryToggle");
  }
  if (version.sendPicturesSwitch && run.RunState.ImagesCopied) {
    SetSwitch(run, OfficeOutlookKey(version.major) + "\\Options\\Mail", "Send Pictures With Document");
  }
}

// Outlook XP: one pair of expandable strings for all profiles.
void SetMailSettingsSignatures(Run& run, const std::string& newName, const std::string& replyName,
                               const VersionInfo& version) {
  clsRegistry r = RegistryFor(run);
  r.ClassKey = reg::kCurrentUser;
  r.SectionKey = "Software\\Microsoft\\Office\\" + std::to_string(version.major) + ".0\\Common\\MailSettings";
  r.ValueType = static_cast<std::int32_t>(version.signatureType);
  WriteLog(run, "-> Bearbeite Registry");
  SetSignaturePair(run, r, {"NewSignature", newName}, {"ReplySignature", replyName});
}

// Outlook 2000 keeps one signature per profile, under the name as read; the
// switches against new-message or reply defaults do not apply to it.
void SetProfileSignature(Run& run, const std::string& newName, const VersionInfo& version) {
  WriteLog(run, "-> Ermittle Outlook-Profil");
  const std::string profile = DefaultProfile(run, version.major);
  if (profile.empty()) RaiseError("Das Outlook-Profil konnte nicht aus der Registry ermittelt werden");
  WriteLog(run, "-> ...Outlook-Profil|" + profile);
  clsRegistry r = RegistryFor(run);
  WriteLog(run, "-> Bearbeite Registry");
  r.ClassKey = reg::kCurrentUser;
  r.SectionKey = ProfilesKey(version) + "\\" + profile + "\\0a0d020000000000c000000000000046\\";
  r.ValueType = static_cast<std::int32_t>(version.signatureType);
  r.ValueKey = "001e0361";
  r.SetValue(newName);
  WriteLog(run, "-> ...Eintrag für Signatur hinzugefügt bzw. gesetzt");
}

// ---------------------------------------------------------------------------
// The mailboxes of the profile (MailboxSignatures=1).

// No address is longer (RFC 5321); a longer one names no mailbox, and as part
// of a file name it would outgrow what a file system takes.
constexpr size_t kLongestAddress = 254;

// A text value of an account as Outlook keeps it: a string, or 16-bit text in
// binary data (up to 2013); nullopt for a value of another type, "" for none.
std::optional<std::string> AccountText(const std::string& accountKey, const std::string& name) {
  const auto raw = reg::QueryValue(reg::kCurrentUser, accountKey, name);
  if (!raw) return std::string();
  const std::string bytes(raw->data.begin(), raw->data.end());
  if (raw->type == reg::kTypeString || raw->type == reg::kTypeExpandString) {
    return platform::FromAnsi(bytes.substr(0, bytes.find('\0')));
  }
  if (raw->type != reg::kTypeBinary) return std::nullopt;
  std::string units = bytes.substr(0, bytes.size() / 2 * 2);
  for (size_t i = 0; i + 1 < units.size(); i += 2) {
    if (units[i] == '\0' && units[i + 1] == '\0') {
      units.resize(i);
      break;
    }
  }
  return platform::text::Utf16LeToUtf8(units);
}

// "local@domain": one "@" with text on both sides, and no blank or control
// character anywhere (Exchange and Microsoft 365 accounts are named by their
// primary SMTP address; a POP or IMAP account's name is a free label).
bool IsAddress(const std::string& text) {
  const size_t at = text.find('@');
  if (at == std::string::npos || at == 0 || at + 1 == text.size() ||
      text.find('@', at + 1) != std::string::npos)
    return false;
  return std::none_of(text.begin(), text.end(),
                      [](char c) { return static_cast<unsigned char>(c) <= ' '; });
}

// The name suffix of a mailbox's signatures: the address as a file name can
// hold it, the characters Windows refuses in names made "_".
std::string NameSuffix(const std::string& address) {
  std::string name = address;
  for (char& c : name) {
    if (std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos ||
        static_cast<unsigned char>(c) < ' ')
      c = '_';
  }
  return " (" + name + ")";
}

}  // namespace

void ReadMailboxes(Run& run, FindingList* findings) {
  run.Mailboxes.clear();
  run.AccountsWithUserSignatures.clear();
  const VersionInfo* version = KnownVersion(run, run.RunState.OutlookVersion);
  if (version == nullptr || version->registration != Registration::Accounts) return;
  WriteLog(run, "Ermittle Postfächer");
  std::string profile = DefaultProfile(run, version->major);
  if (profile.empty()) return;
  ProfileKeyName(*version, profile);
  const std::string accountKey = AccountKeyPath(*version, profile);
  for (const MailAccount& account : ProfileAccountList(run, *version, profile)) {
    const std::string key = accountKey + "\\" + account.Key;
    // A POP or IMAP account's address is in "Email"; an Exchange account is
    // named by its address.
    // An audit's accounts are named by their addresses.
    const std::optional<std::string> email = run.Audited ? std::string() : AccountText(key, "Email");
    if (!email) {
      WriteLog(run, "...Postfach übersprungen (Wert 'Email' ist kein Text)|" + account.Name);
      continue;
    }
    // The name as the accounts' list decodes it, so that the log and the
    // address never disagree.
    std::string address = Trim(*email);
    if (address.empty() && IsAddress(account.Name)) address = account.Name;
    if (address.empty()) continue;
    if (address.size() > kLongestAddress || !IsAddress(address)) {
      WriteLog(run, "...Postfach übersprungen (keine gültige Adresse)|" + account.Name);
      continue;
    }
    WriteLog(run, "...Postfach|" + address + " (" + account.Name + ")");
    // Two accounts of one address are one mailbox with one set of signatures.
    const auto same = std::find_if(run.Mailboxes.begin(), run.Mailboxes.end(), [&](const MailboxRecord& m) {
      return platform::text::EqualsNoCase(m.Address, address);
    });
    if (same != run.Mailboxes.end()) {
      same->AccountKeys.push_back(account.Key);
      continue;
    }
    // Two addresses that differ only in what a file name cannot hold, or in
    // case, would write the same files: the later one keeps the user's.
    const std::string suffix = NameSuffix(address);
    const auto clash = std::find_if(run.Mailboxes.begin(), run.Mailboxes.end(), [&](const MailboxRecord& m) {
      return platform::text::EqualsNoCase(m.NameSuffix, suffix);
    });
    if (clash != run.Mailboxes.end()) {
      WriteLog(run, "...Postfach ohne eigene Signaturen (gleicher Dateiname wie " + clash->Address + ")|" +
               address);
      if (findings != nullptr) {
        findings->push_back({Severity::Note, "Postfach '" + address + "'",
                             "Bekommt keine eigenen Signaturen: ihre Dateien hießen wie die von '" +
                                 clash->Address + "'; das Konto behält die Signaturen des Benutzers"});
      }
      run.AccountsWithUserSignatures.push_back(account.Key);
      continue;
    }
    MailboxRecord mailbox;
    mailbox.Address = address;
    mailbox.AccountKeys = {account.Key};
    mailbox.AccountName = account.Name;
    mailbox.NameSuffix = suffix;
    run.Mailboxes.push_back(std::move(mailbox));
  }
}

std::vector<std::string> ProfileAccountNames(Run& run) {
  const VersionInfo* version = KnownVersion(run, run.RunState.OutlookVersion);
  if (version == nullptr || version->registration != Registration::Accounts) return {};
  std::vector<std::string> names;
  try {
    std::string profile = DefaultProfile(run, version->major);
    if (profile.empty()) return {};
    ProfileKeyName(*version, profile);
    for (const MailAccount& account : ProfileAccountList(run, *version, profile)) names.push_back(account.Name);
  } catch (const Error& e) {
    // The registration reads them again and ends the run with the fault.
    if (e.Number() == reg::kStoreError) throw;
    return {};
  }
  return names;
}

std::string SignatureFolderName(const Run& run) {
  const VersionInfo* version = KnownVersion(run, run.RunState.OutlookVersion);
  if (version == nullptr || !version->localizedFolder) return kDefaultSignatureFolder;
  // Read as stored: an empty string is no name here, not the error the
  // registry object raises for it.
  const auto raw = reg::QueryValue(reg::kCurrentUser,
                                   OfficeKey(version->major) + "\\Common\\General", "Signatures");
  if (!raw || (raw->type != reg::kTypeString && raw->type != reg::kTypeExpandString))
    return kDefaultSignatureFolder;
  std::string name(raw->data.begin(), raw->data.end());
  name.erase(std::min(name.find('\0'), name.size()));
  name = platform::FromAnsi(name);
  if (raw->type == reg::kTypeExpandString) name = platform::ExpandEnvironmentReferences(name);
  return name.empty() ? kDefaultSignatureFolder : name;
}

std::int32_t GetOutlookVersion(bool useMachineKey) {
  try {
    clsRegistry r;
    r.ClassKey = useMachineKey ? reg::kLocalMachine : reg::kClassesRoot;
    r.SectionKey = useMachineKey ? "SOFTWARE\\Classes\\Outlook.Application\\CurVer"
                                 : "Outlook.Application\\CurVer";
    r.ValueKey = "";
    RegistryValue v = r.Value();
    const auto* text = std::get_if<std::string>(&v);
    if (text == nullptr) return 0;
    std::vector<std::string> pieces = Split(*text, ".");
    if (pieces.size() < 3) return 0;
    const std::string& piece = pieces[2];
    size_t i = piece.find_first_not_of(' ');
    if (i == std::string::npos) return 0;
    double n = 0;
    bool negative = false;
    if (piece[i] == '-' || piece[i] == '+') negative = piece[i++] == '-';
    while (i < piece.size() && piece[i] >= '0' && piece[i] <= '9') n = n * 10 + (piece[i++] - '0');
    if (negative) n = -n;
    if (n > std::numeric_limits<std::int32_t>::max() || n < std::numeric_limits<std::int32_t>::min()) return 0;
    return static_cast<std::int32_t>(n);
  } catch (const Error& e) {
    // A registry store that cannot be read at all is not "no Outlook".
    if (e.Number() == reg::kStoreError) throw;
    return 0;
  } catch (...) {
    return 0;
  }
}

void DetermineOutlookVersion(Run& run) {
  WriteLog(run, "Ermittle Outlook-Version");
  run.RunState.ModernOutlook = Settings::ModernOutlook(run);
  run.RunState.OutlookVersion = GetOutlookVersion(false);
  if (run.RunState.OutlookVersion == 0) run.RunState.OutlookVersion = GetOutlookVersion(true);
  // An audit on a PC without Outlook takes the users' to be today's.
  if (run.RunState.OutlookVersion == 0 && run.Audited && run.RunState.ModernOutlook)
    run.RunState.OutlookVersion = kAuditedOutlookVersion;
  // A preview may be made on a PC without Outlook (an administrator's): it
  // goes on with version 0, for which nothing is registered.
  if (run.RunState.OutlookVersion == 0 && !run.RunState.Simulate) {
    RaiseError("Outlook-Version konnte nicht ermittelt werden");
  }
  const VersionInfo* version = KnownVersion(run, run.RunState.OutlookVersion);
  run.RunState.OutlookVersionName = version != nullptr ? version->name : "";
  WriteLog(run, "...Outlook-Version|" + run.RunState.OutlookVersionName);
}

std::string GetDefaultProfile(std::int32_t version) {
  const VersionInfo* info = FindVersion(version);
  if (info == nullptr || info->profileHome == ProfileHome::None) return {};
  clsRegistry r;
  r.ClassKey = reg::kCurrentUser;
  r.SectionKey = info->profileHome == ProfileHome::OfficeOutlook ? OfficeOutlookKey(version) : kProfilesKey;
  r.ValueKey = "DefaultProfile";
  RegistryValue v = r.Value();
  if (std::holds_alternative<std::monostate>(v)) return {};
  if (const auto* t = std::get_if<std::string>(&v)) return *t;
  RaiseRuntimeError(err::kTypeMismatch);
}

void EncodeProfileName(std::string& profile) {
  // Outlook writes these characters of a profile name into its key names as
  // three characters each.
  static const std::pair<const char*, const char*> kCodes[] = {
      {"\xC3\x84", "[t|"}, {"\xC3\x9C", "[|}"}, {"\xC3\x96", "[v}"}, {"\xC3\xA4", "[t~"},
      {"\xC3\xBC", "[|\x7F"}, {"\xC3\xB6", "[v\x7F"}, {"\xC3\x9F", "[\x7F}"},
  };
  for (const auto& [from, to] : kCodes) profile = ReplaceAll(profile, from, to);
}

void ReadMailAccounts(Run& run, std::string& profile, std::int32_t version) {
  const VersionInfo& v = AccountVersion(version);
  ProfileKeyName(v, profile);
  std::uint16_t n = 0;
  for (MailAccount& account : ProfileAccountList(run, v, profile)) {
    if (n > 0) run.MailAccounts.resize(static_cast<size_t>(n) + 1);
    if (run.MailAccounts.empty()) run.MailAccounts.resize(1);
    run.MailAccounts[n] = std::move(account);
    ++n;
  }
}

std::string FindAccountKey(std::string& profile, const std::string& accountName, std::int32_t version) {
  const VersionInfo& v = AccountVersion(version);
  ProfileKeyName(v, profile);
  const std::string accountKey = AccountKeyPath(v, profile);
  clsRegistry r;
  r.ClassKey = reg::kCurrentUser;
  r.SectionKey = accountKey;
  std::vector<std::string> names;
  std::int32_t count = 0;
  r.EnumerateSections(names, count);
  // An account key without subkeys has no last index to walk to.
  if (count == 0) RaiseRuntimeError(err::kSubscript);
  for (std::int32_t i = 1; i <= count; ++i) {
    const std::string& name = names[static_cast<size_t>(i)];
    if (AccountName(accountKey + "\\" + name, v.accountNameMayBeText) == accountName) return name;
  }
  return {};
}

void SetDefaultSignature(Run& run, const std::string& newName, const std::string& replyName, std::int32_t version) {
  const VersionInfo* v = KnownVersion(run, version);
  if (v == nullptr) return;
  if (v->registration != Registration::Accounts && !run.AccountSections.empty()) {
    WriteLog(run, "-> Konto-Abschnitte ignoriert: Outlook " + std::string(v->name) +
             " kennt nur eine Standard-Signatur für alle Konten");
  }
  if (v->registration != Registration::Accounts && Settings::MailboxSignatures(run)) {
    WriteLog(run, "-> Postfach-Signaturen ignoriert: Outlook " + std::string(v->name) +
             " kennt nur eine Standard-Signatur für alle Konten");
  }
  // The values of every account go into the registry together: the linux
  // registry file is rewritten once for them, not once per value.
  platform::registry::WriteBatch batch;
  switch (v->registration) {
    case Registration::Accounts: SetAccountSignatures(run, newName, replyName, *v); break;
    case Registration::MailSettings: SetMailSettingsSignatures(run, newName, replyName, *v); break;
    case Registration::Profile: SetProfileSignature(run, newName, *v); break;
  }
  batch.Commit();
}

}  // namespace qm
