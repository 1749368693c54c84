// The settings catalogue: each key read with its own parsing and default.
#include "records/Settings.h"

#include <algorithm>
#include <array>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <stdexcept>

#include "platform/codepage.h"
#include "platform/common/text.h"
#include "platform/profile.h"
#include "records/Run.h"
#include "support/modTools.h"

namespace qm::Settings {

namespace {

using platform::text::EqualsNoCase;

// A decimal number counted from 1, written without leading zeros.
bool IsSectionNumber(std::string_view text) {
  return !text.empty() && text.front() != '0' &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// How many letters must change to turn a into b: one for each letter missing,
// added or replaced, and for two neighbours swapped; compared without regard
// to case.
std::size_t Distance(std::string_view a, std::string_view b) {
  using platform::text::Case, platform::text::MapCase, platform::text::Utf8ToUtf16;
  const std::u16string x = MapCase(Utf8ToUtf16(a), Case::Upper);
  const std::u16string y = MapCase(Utf8ToUtf16(b), Case::Upper);
  std::vector<std::vector<std::size_t>> d(x.size() + 1, std::vector<std::size_t>(y.size() + 1));
  for (std::size_t i = 0; i <= x.size(); ++i) d[i][0] = i;
  for (std::size_t j = 0; j <= y.size(); ++j) d[0][j] = j;
  for (std::size_t i = 1; i <= x.size(); ++i) {
    for (std::size_t j = 1; j <= y.size(); ++j) {
      const std::size_t replace = d[i - 1][j - 1] + (x[i - 1] == y[j - 1] ? 0 : 1);
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, replace});
      if (i > 1 && j > 1 && x[i - 1] == y[j - 2] && x[i - 2] == y[j - 1])
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  }
  return d[x.size()][y.size()];
}

// Names shorter than this are a typing mistake away only with one mistake.
constexpr std::size_t kLongName = 8;
// Comparing names costs their lengths multiplied; longer ones are no key.
constexpr std::size_t kLongestCompared = 64;

// An audit keeps the values by the names as the code spells them: a key the
// code spells two ways is read twice, with the same answer.
std::string ValueName(const std::string& section, const std::string& key) { return section + "\n" + key; }

// The value an audit read already; nullptr in a run of its own and for a value
// not yet read.
const std::string* KnownValue(const Run& run, const std::string& section, const std::string& key) {
  if (run.SharedConfiguration == nullptr) return nullptr;
  const std::map<std::string, std::string>& values = run.SharedConfiguration->Values;
  const auto known = values.find(ValueName(section, key));
  return known != values.end() ? &known->second : nullptr;
}

// One value of the configuration file: read from the file, or in an audit
// once for all its users.
std::string ReadValue(const Run& run, const std::string& section, const std::string& key) {
  if (run.SharedConfiguration == nullptr) return ReadIniValue(run.RunState.ConfigFilePath, section, key);
  if (const std::string* known = KnownValue(run, section, key)) return *known;
  return run.SharedConfiguration->Values
      .emplace(ValueName(section, key), ReadIniValue(run.RunState.ConfigFilePath, section, key))
      .first->second;
}

}  // namespace

std::string Main(const Run& run, const std::string& key) {
  // A value read before passed the catalogue's check then.
  if (const std::string* known = KnownValue(run, std::string(catalogue::kMainSection), key)) return *known;
  if (MainKey(key) == nullptr) throw std::logic_error("Schlüssel '" + key + "' fehlt im Katalog");
  return ReadValue(run, std::string(catalogue::kMainSection), key);
}

std::string FieldMapping(const Run& run, const std::string& key) {
  if (!IsFieldMappingKey(key)) throw std::logic_error("Schlüssel '" + key + "' fehlt im Katalog");
  return ReadValue(run, std::string(catalogue::kFieldMappingSection), key);
}

const catalogue::Key* MainKey(std::string_view name) {
  for (const catalogue::Key& key : catalogue::kMainKeys) {
    if (!key.Numbered ? EqualsNoCase(name, key.Name)
                      : name.size() > key.Name.size() &&
                            EqualsNoCase(name.substr(0, key.Name.size()), key.Name) &&
                            IsSectionNumber(name.substr(key.Name.size())))
      return &key;
  }
  return nullptr;
}

namespace {

// A value as the flags and numeric choices read it: digits, a point, a sign
// and blanks only (Val skips the blanks).
bool IsNumberText(std::string_view text) {
  return !text.empty() && text.find_first_not_of("0123456789.+- ") == std::string_view::npos;
}

}  // namespace

bool IsValidValue(const catalogue::Key& key, std::string_view value) {
  const std::string v = Trim(value);
  if (v.empty() || key.Read == catalogue::Reading::Text) return true;
  static constexpr std::string_view kFlagChoices[] = {"0", "1"};
  const std::span<const std::string_view> choices =
      key.Read == catalogue::Reading::Flag ? std::span<const std::string_view>(kFlagChoices)
                                           : key.Choices;
  return std::any_of(choices.begin(), choices.end(), [&](std::string_view choice) {
    if (IsNumberText(choice)) return IsNumberText(v) && Val(v) == Val(choice);
    return EqualsNoCase(v, choice);
  });
}

std::string InvalidValueText(const catalogue::Key& key, std::string_view value) {
  std::string allowed;
  if (key.Read == catalogue::Reading::Flag) allowed = "0, 1";
  for (std::string_view choice : key.Choices)
    allowed += (allowed.empty() ? "" : ", ") + std::string(choice);
  return "Ungültiger Wert '" + Trim(value) + "' für '" + std::string(key.Name) +
         "' (erlaubt: " + allowed + ")";
}

void CheckRefusedValues(const Run& run) {
  for (const catalogue::Key& key : catalogue::kMainKeys) {
    if (!key.Refused) continue;
    const std::string value = Main(run, std::string(key.Name));
    if (!IsValidValue(key, value)) RaiseError(InvalidValueText(key, value));
  }
}

bool IsFieldMappingKey(std::string_view name) {
  const auto& keys = catalogue::kFieldMappingKeys;
  return std::any_of(std::begin(keys), std::end(keys),
                     [&](std::string_view key) { return EqualsNoCase(name, key); });
}

std::vector<std::string_view> SectionKeys(const catalogue::SectionKind& kind) {
  std::vector<std::string_view> keys(kind.Keys.begin(), kind.Keys.end());
  if (!kind.FieldConditions) return keys;
  for (std::size_t i = 0; i < kUserFieldNames.size(); ++i) {
    const auto field = static_cast<UserField>(i);
    if (field != UserField::SignType && field != UserField::SignTypeReply)
      keys.push_back(kUserFieldNames[i]);
  }
  return keys;
}

std::string NearestName(std::string_view name, const std::vector<std::string_view>& known) {
  if (name.size() > kLongestCompared) return "";
  const std::size_t allowed = name.size() >= kLongName ? 2 : 1;
  std::string nearest;
  std::size_t best = allowed + 1;
  const auto consider = [&](std::string_view candidate, std::string_view compared,
                            std::string_view number) {
    const std::size_t d = Distance(compared, candidate);
    if (d < best) {
      best = d;
      nearest = std::string(candidate) + std::string(number);
    }
  };
  for (std::string_view candidate : known) consider(candidate, name, "");
  // "FixedSignTypForDN2": the stem against the numbered keys, the number kept.
  const std::size_t digits = name.find_last_not_of("0123456789") + 1;
  if (digits < name.size() && IsSectionNumber(name.substr(digits))) {
    for (const catalogue::Key& key : catalogue::kMainKeys) {
      if (key.Numbered && std::find(known.begin(), known.end(), key.Name) != known.end())
        consider(key.Name, name.substr(0, digits), name.substr(digits));
    }
  }
  return nearest;
}

std::string Value(const Run& run, const std::string& section, const std::string& key) {
  return ReadValue(run, section, key);
}

std::vector<std::string> SectionNames(const Run& run) {
  if (run.SharedConfiguration == nullptr) return platform::ReadProfileSectionNames(run.RunState.ConfigFilePath);
  std::optional<std::vector<std::string>>& names = run.SharedConfiguration->SectionNames;
  if (!names) names = platform::ReadProfileSectionNames(run.RunState.ConfigFilePath);
  return *names;
}

int NumberedSectionCount(const Run& run, const std::string& prefix) {
  std::set<std::string> names;
  for (const std::string& name : SectionNames(run))
    names.insert(ToUpper(name));
  int count = 0;
  while (names.contains(ToUpper(prefix + std::to_string(count + 1)))) ++count;
  return count;
}

std::vector<std::string> KeyNames(const Run& run, const std::string& section) {
  std::vector<std::string> read;
  if (run.SharedConfiguration == nullptr) {
    read = platform::ReadProfileKeyNames(run.RunState.ConfigFilePath, section);
  } else {
    const std::string name = ToUpper(section);
    auto known = run.SharedConfiguration->KeyNames.find(name);
    if (known == run.SharedConfiguration->KeyNames.end()) {
      known = run.SharedConfiguration->KeyNames
                  .emplace(name, platform::ReadProfileKeyNames(run.RunState.ConfigFilePath, section))
                  .first;
    }
    read = known->second;
  }
  std::vector<std::string> keys;
  for (const std::string& key : read) {
    bool seen = false;
    for (const std::string& k : keys) seen = seen || platform::text::EqualsNoCase(k, key);
    if (!seen) keys.push_back(key);
  }
  return keys;
}

namespace {
// The terminator and the three bytes a cut after a whole UTF-8 character may leave.
constexpr std::size_t kCutMargin = 4;
}  // namespace

std::vector<NumberedSection> NumberedSections(const Run& run, const std::string& prefix, FindingList* findings) {
  std::vector<NumberedSection> sections;
  const int count = NumberedSectionCount(run, prefix);
  for (int n = 1; n <= count; ++n) {
    NumberedSection section{n, prefix + std::to_string(n), {}};
    for (const std::string& key : KeyNames(run, section.Name)) {
      std::string value = Value(run, section.Name, key);
      // The reader stores at most the buffer's size less its terminator, cut
      // after a whole character: in UTF-8 up to three bytes short of it. A
      // value that comes that close may have been cut.
      if (platform::ToAnsi(value).size() + kCutMargin >= kIniBufferSize) {
        SectionFault(section, key,
                     "Der Wert von '" + key + "' ist zu lang (höchstens " +
                         std::to_string(kIniBufferSize - kCutMargin - 1) + " Zeichen)",
                     findings);
        continue;
      }
      section.Values.push_back({key, std::move(value)});
    }
    sections.push_back(std::move(section));
  }
  return sections;
}

void SectionFault(const NumberedSection& section, const std::string& key, const std::string& what,
                  FindingList* findings) {
  if (findings == nullptr) RaiseError("Abschnitt '" + section.Name + "': " + what);
  findings->push_back({Severity::Error, "[" + section.Name + "] " + key, what});
}

void UnknownKeyFault(const NumberedSection& section, const catalogue::SectionKind& kind,
                     const std::string& key, FindingList* findings) {
  std::string what = "Unbekannter Schlüssel '" + key + "'";
  if (findings != nullptr) {
    const std::string nearest = NearestName(key, SectionKeys(kind));
    if (!nearest.empty()) {
      what += "; meinten Sie '" + nearest + "'?";
    } else {
      what += "; bekannt sind ";
      for (std::string_view known : kind.Keys) what += std::string(known) + ", ";
      what.resize(what.size() - 2);
      if (kind.FieldConditions) what += " und die Felder von [FieldMapping] außer den SignTypes";
    }
  }
  SectionFault(section, key, what, findings);
}

std::string LogFile(const Run& run) { return ExpandEnvironmentVariable(Trim(Main(run, "LogFile"))); }

std::optional<std::string> AppDataPath(const Run& run) {
  std::string value = Trim(Main(run, "AppDataPath"));
  if (value.empty()) return std::nullopt;
  value = ExpandEnvironmentVariable(value);
  return ReplaceAll(value, "%NAME%", run.RunState.UserName);
}

std::string TemplateFolder(const Run& run) {
  std::string value = Main(run, "TemplateFolder");
  value = value.empty() ? std::string("Vorlagen") : ExpandEnvironmentVariable(value);
  if (value.find('\\') == std::string::npos) value = run.RunState.ProgramFolderPath + value;
  return value;
}

bool NoNewMessageSignature(const Run& run) { return NumberIsOne(Main(run, "NoNewMessageSignature")); }
bool NoReplyMessageSignature(const Run& run) { return NumberIsOne(Main(run, "NoReplyMessageSignature")); }

std::string PlaceholderSymbol(const Run& run) {
  std::string value = Main(run, "PlaceholderSymbol");
  return value.empty() ? std::string("@") : value;
}

bool EscapeValues(const Run& run) { return NumberIsOne(Main(run, "EscapeValues")); }
bool DropEmptyLines(const Run& run) { return NumberIsOne(Main(run, "DropEmptyLines")); }
bool TemplateConditions(const Run& run) { return NumberIsOne(Main(run, "TemplateConditions")); }

std::string FixedSignType(const Run& run) { return ToLower(Main(run, "FixedSignType")); }
std::string FixedSignTypeNoMobile(const Run& run) { return ToLower(Main(run, "FixedSignTypeNoMobile")); }
std::string FixedSignTypeReply(const Run& run) { return ToLower(Main(run, "FixedSignTypeReply")); }
std::string FixedSignTypeReplyNoMobile(const Run& run) { return ToLower(Main(run, "FixedSignTypeReplyNoMobile")); }
std::string TargetSignType(const Run& run) { return Main(run, "TargetSignType"); }
std::string TargetSignTypeReply(const Run& run) { return Main(run, "TargetSignTypeReply"); }

int EmptySignatureFolder(const Run& run) {
  const double v = Val(Main(run, "EmptySignatureFolder"));
  if (v == kEmptyToRecycleBin) return kEmptyToRecycleBin;
  if (v == kEmptyForGood) return kEmptyForGood;
  return 0;
}

std::string EMailAccount(const Run& run) { return Main(run, "EMailAccount"); }
bool SetForAllEMailAccounts(const Run& run) { return NumberIsOne(Main(run, "SetForAllEMailAccounts")); }
bool ModernOutlook(const Run& run) { return NumberIsOne(Main(run, "ModernOutlook")); }
bool EscapeUserName(const Run& run) { return NumberIsOne(Main(run, "EscapeUserName")); }
bool HidePasswordsInLog(const Run& run) { return NumberIsOne(Main(run, "HidePasswordsInLog")); }
std::vector<std::string> ImageTypes(const Run& run) {
  static constexpr std::array<const char*, 5> kShown = {"gif", "jpg", "jpeg", "png", "bmp"};
  const std::string value = Main(run, "ImageTypes");
  std::vector<std::string> types;
  for (const std::string& item : Split(value, ",")) {
    std::string type = ToLower(Trim(item));
    if (type.starts_with(".")) type.erase(0, 1);
    if (type.empty()) continue;
    if (std::find(kShown.begin(), kShown.end(), type) == kShown.end()) {
      RaiseError("Ungültiger Wert '" + Trim(item) +
                 "' in 'ImageTypes' (erlaubt: gif, jpg, jpeg, png, bmp)");
    }
    if (std::find(types.begin(), types.end(), type) == types.end()) types.push_back(type);
  }
  if (types.empty()) types = {"gif", "jpg", "jpeg"};
  return types;
}

bool ManagerData(const Run& run) { return NumberIsOne(Main(run, "ManagerData")); }

bool MailboxSignatures(const Run& run) { return NumberIsOne(Main(run, "MailboxSignatures")); }

bool RunStatus(const Run& run) { return NumberIsOne(Main(run, "RunStatus")); }

bool ReportFileErrors(const Run& run) { return NumberIsOne(Main(run, "ReportFileErrors")); }

int EventLog(const Run& run) {
  const double v = Val(Main(run, "EventLog"));
  if (v == kEventLogFailures) return kEventLogFailures;
  if (v == kEventLogEveryRun) return kEventLogEveryRun;
  return 0;
}

int RemoveOldSignatures(const Run& run) {
  const double v = Val(Main(run, "RemoveOldSignatures"));
  if (v == kEmptyToRecycleBin) return kEmptyToRecycleBin;
  if (v == kEmptyForGood) return kEmptyForGood;
  return 0;
}

bool ProtectSignatures(const Run& run) { return NumberIsOne(Main(run, "ProtectSignatures")); }

std::string LDAPEncryption(const Run& run) { return Trim(Main(run, "LDAPEncryption")); }

}  // namespace qm::Settings
