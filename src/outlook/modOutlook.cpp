// Outlook's version, the user's default profile and its mail accounts, and the
// registry entries that make the new signatures Outlook's defaults.
#include "outlook/modOutlook.h"

#include <cmath>

#include "log/modHelper.h"
#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/registry.h"
#include "run/Settings.h"
#include "run/modMain.h"
#include "support/clsRegistry.h"
#include "support/modTools.h"

namespace qm {

std::vector<MailAccount> MailAccounts;
bool ModernOutlook = false;

namespace {

namespace reg = platform::registry;

constexpr const char* kProfilesKey =
    "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging Subsystem\\Profiles";
constexpr const char* kAccountsSubkey = "\\9375CFF0413111d3B88A00104B2A6676";
constexpr const char* kAccountListValue = "{ED475418-B0D6-11D2-8C3B-00104B2A6676}";

// Where a version keeps its mail profiles. Up to Outlook 2010 they live in the
// Windows Messaging Subsystem under key names with umlauts rewritten; Outlook
// 2013 moved them below its own Office key (it can be installed beside other
// versions) and names the keys with the profile name as it is. From 2010 on an
// account's display name may be stored as text as well as 16-bit bytes.
struct ProfileLayout {
  std::string profilesKey;
  bool encodedNames = true;
  bool textAccountNames = false;
};

bool ModernVersion(std::int32_t version) { return version == 14 || version == 15 || version == 16; }

std::string OfficeOutlookKey(std::int32_t version) {
  return "Software\\Microsoft\\Office\\" + std::to_string(version) + ".0\\Outlook";
}

ProfileLayout LayoutOf(std::int32_t version) {
  if (version == 15 || version == 16) return {OfficeOutlookKey(version) + "\\Profiles", false, true};
  return {kProfilesKey, true, version == 14};
}

std::string AccountKeyPath(const ProfileLayout& layout, const std::string& profile) {
  return layout.profilesKey + "\\" + profile + kAccountsSubkey;
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
  std::vector<std::uint8_t> bytes(2 * platform::ToAnsi(name).size() + 4, 0);
  StringToBytes(name, bytes, true);
  return bytes;
}

// The account-based registration of Outlook 2003 and later: the default
// profile's accounts, then both signature names in each account to set.
// Outlook 2016 keeps the names as strings, the others as 16-bit bytes.
void SetAccountSignatures(const std::string& newName, const std::string& replyName, std::int32_t version) {
  const bool asText = version == 16;
  const std::vector<std::uint8_t> newBytes = WideBytes(newName);
  const std::vector<std::uint8_t> replyBytes = WideBytes(replyName);
  WriteLog("-> Ermittle Outlook-Profil");
  std::string profile = GetDefaultProfile(version);
  if (profile.empty()) RaiseError("Das Outlook-Profil konnte nicht aus der Registry ermittelt werden");
  WriteLog("-> ...Outlook-Profil|" + profile);
  MailAccounts.assign(1, MailAccount{});
  const std::string account = Settings::EMailAccount();
  const bool setAll = Settings::SetForAllEMailAccounts();
  size_t last = 0;
  if (account.empty()) {
    WriteLog("-> Ermittle E-Mail-Konten");
    ReadMailAccounts(profile, version);
    last = setAll ? MailAccounts.size() - 1 : 0;
    WriteLog("-> ...Anzahl E-Mail-Konten|" + std::to_string(MailAccounts.size()));
    WriteLog("-> ...Standard-E-Mail-Konto|" + MailAccounts[0].Name);
  } else {
    MailAccounts[0].Name = account;
    MailAccounts[0].Key = FindAccountKey(profile, account, version);
    if (MailAccounts[0].Key.empty()) {
      RaiseError("Der Registry-Schlüssel für den konfigurierten EMail-Account '" + account +
                 "' konnte nicht ermittelt werden");
    }
    WriteLog("-> Verwende konfiguriertes E-Mail-Konto|" + NullToDefault(account, ""));
  }
  const ProfileLayout layout = LayoutOf(version);
  clsRegistry r;
  r.ClassKey = reg::kCurrentUser;
  r.ValueType = asText ? 1 : 3;
  for (size_t i = 0; i <= last; ++i) {
    r.SectionKey = AccountKeyPath(layout, profile) + "\\" + MailAccounts[i].Key;
    WriteLog("-> Bearbeite Registry für " + std::to_string(i + 1) + ". EMail-Konto |" + MailAccounts[i].Name);
    if (!RunState.NoNewMessageSignature) {
      r.ValueKey = "New Signature";
      r.SetValue(asText ? RegistryValue(newName) : RegistryValue(newBytes));
      WriteLog("-> ...Eintrag 'New Signature' hinzugefügt bzw. gesetzt");
    }
    if (!RunState.NoReplyMessageSignature) {
      r.ValueKey = "Reply-Forward Signature";
      r.SetValue(asText ? RegistryValue(replyName) : RegistryValue(replyBytes));
      WriteLog("-> ...Eintrag 'Reply-Forward Signature' hinzugefügt bzw. gesetzt");
    }
  }
  if (version == 16) {
    // Microsoft 365 replaces local signatures and their defaults with the ones
    // stored in the mailbox unless this per-user switch is set.
    clsRegistry setup;
    setup.ClassKey = reg::kCurrentUser;
    setup.SectionKey = OfficeOutlookKey(16) + "\\Setup";
    setup.ValueKey = "DisableRoamingSignaturesTemporaryToggle";
    setup.ValueType = 4;
    setup.SetValue(std::int32_t{1});
    WriteLog("-> ...Eintrag 'DisableRoamingSignaturesTemporaryToggle' hinzugefügt bzw. gesetzt");
  }
}

}  // namespace

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
    if (n > 2147483647.0 || n < -2147483648.0) return 0;
    return static_cast<std::int32_t>(n);
  } catch (const Error& e) {
    // A registry store that cannot be read at all is not "no Outlook".
    if (e.Number() == reg::kStoreError) throw;
    return 0;
  } catch (...) {
    return 0;
  }
}

void DetermineOutlookVersion() {
  WriteLog("Ermittle Outlook-Version");
  ModernOutlook = Settings::ModernOutlook();
  RunState.OutlookVersion = GetOutlookVersion(false);
  if (RunState.OutlookVersion == 0) RunState.OutlookVersion = GetOutlookVersion(true);
  if (RunState.OutlookVersion == 0) RaiseError("Outlook-Version konnte nicht ermittelt werden");
  switch (RunState.OutlookVersion) {
    case 9: RunState.OutlookVersionName = "2000"; break;
    case 10: RunState.OutlookVersionName = "XP"; break;
    case 11: RunState.OutlookVersionName = "2003"; break;
    case 12: RunState.OutlookVersionName = "2007"; break;
    // Later versions only when asked for; otherwise they are unknown ones.
    case 14: RunState.OutlookVersionName = ModernOutlook ? "2010" : ""; break;
    case 15: RunState.OutlookVersionName = ModernOutlook ? "2013" : ""; break;
    // 16 stands for 2016 and everything after it (2019, 2021, 2024, Microsoft 365).
    case 16: RunState.OutlookVersionName = ModernOutlook ? "2016" : ""; break;
    default: RunState.OutlookVersionName.clear(); break;
  }
  WriteLog("...Outlook-Version|" + RunState.OutlookVersionName);
}

std::string GetDefaultProfile(std::int32_t version) {
  clsRegistry r;
  r.ClassKey = reg::kCurrentUser;
  if (version == 9 || version == 11 || version == 12 || version == 14) {
    r.SectionKey = kProfilesKey;
  } else if (version == 15 || version == 16) {
    r.SectionKey = OfficeOutlookKey(version);
  } else {
    return {};
  }
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

void ReadMailAccounts(std::string& profile, std::int32_t version) {
  const ProfileLayout layout = LayoutOf(version);
  if (layout.encodedNames) EncodeProfileName(profile);
  const std::string accountKey = AccountKeyPath(layout, profile);
  clsRegistry r;
  r.ClassKey = reg::kCurrentUser;
  r.SectionKey = accountKey;
  r.ValueKey = kAccountListValue;
  const std::vector<std::uint8_t> bytes = AsBytes(r.Value());
  std::string group;
  std::uint16_t n = 0;
  for (std::uint8_t b : bytes) {
    group += HexString(b, 2);
    if (group.size() != 8) continue;
    if (n > 0) MailAccounts.resize(static_cast<size_t>(n) + 1);
    if (MailAccounts.empty()) MailAccounts.resize(1);
    MailAccounts[n].Key = group;
    MailAccounts[n].Name = AccountName(accountKey + "\\" + group, layout.textAccountNames);
    group.clear();
    ++n;
  }
}

std::string FindAccountKey(std::string& profile, const std::string& accountName, std::int32_t version) {
  const ProfileLayout layout = LayoutOf(version);
  if (layout.encodedNames) EncodeProfileName(profile);
  const std::string accountKey = AccountKeyPath(layout, profile);
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
    if (AccountName(accountKey + "\\" + name, layout.textAccountNames) == accountName) return name;
  }
  return {};
}

void SetDefaultSignature(const std::string& newName, const std::string& replyName, std::int32_t version) {
  if (version == 11 || version == 12 || (ModernOutlook && ModernVersion(version))) {
    SetAccountSignatures(newName, replyName, version);
  } else if (version == 10) {
    clsRegistry r;
    r.ClassKey = reg::kCurrentUser;
    r.SectionKey = "Software\\Microsoft\\Office\\10.0\\Common\\MailSettings";
    r.ValueType = 2;
    WriteLog("-> Bearbeite Registry");
    if (!RunState.NoNewMessageSignature) {
      r.ValueKey = "NewSignature";
      r.SetValue(newName);
      WriteLog("-> ...Eintrag 'NewSignature' hinzugefügt bzw. gesetzt");
    }
    if (!RunState.NoReplyMessageSignature) {
      r.ValueKey = "ReplySignature";
      r.SetValue(replyName);
      WriteLog("-> ...Eintrag 'ReplySignature' hinzugefügt bzw. gesetzt");
    }
  } else if (version == 9) {
    // Outlook 2000 keeps one signature per profile, under the name as read.
    WriteLog("-> Ermittle Outlook-Profil");
    const std::string profile = GetDefaultProfile(9);
    if (profile.empty()) RaiseError("Das Outlook-Profil konnte nicht aus der Registry ermittelt werden");
    WriteLog("-> ...Outlook-Profil|" + profile);
    clsRegistry r;
    WriteLog("-> Bearbeite Registry");
    r.ClassKey = reg::kCurrentUser;
    r.SectionKey = std::string(kProfilesKey) + "\\" + profile + "\\0a0d020000000000c000000000000046\\";
    r.ValueType = 1;
    r.ValueKey = "001e0361";
    r.SetValue(newName);
    WriteLog("-> ...Eintrag für Signatur hinzugefügt bzw. gesetzt");
  }
}

}  // namespace qm
