// The settings catalogue: each key read with its own parsing and default.
#include "records/Settings.h"

#include <algorithm>
#include <array>
#include <set>

#include "platform/codepage.h"
#include "platform/common/text.h"
#include "platform/profile.h"
#include "records/RunState.h"
#include "support/modTools.h"

namespace qm::Settings {

std::string Main(const std::string& key) { return ReadIniValue(RunState.ConfigFilePath, "Main", key); }

std::string FieldMapping(const std::string& key) {
  return ReadIniValue(RunState.ConfigFilePath, "FieldMapping", key);
}

std::string Value(const std::string& section, const std::string& key) {
  return ReadIniValue(RunState.ConfigFilePath, section, key);
}

int NumberedSectionCount(const std::string& prefix) {
  std::set<std::string> names;
  for (const std::string& name : platform::ReadProfileSectionNames(RunState.ConfigFilePath))
    names.insert(ToUpper(name));
  int count = 0;
  while (names.contains(ToUpper(prefix + std::to_string(count + 1)))) ++count;
  return count;
}

std::vector<std::string> KeyNames(const std::string& section) {
  std::vector<std::string> keys;
  for (const std::string& key : platform::ReadProfileKeyNames(RunState.ConfigFilePath, section)) {
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

std::vector<NumberedSection> NumberedSections(const std::string& prefix) {
  std::vector<NumberedSection> sections;
  const int count = NumberedSectionCount(prefix);
  for (int n = 1; n <= count; ++n) {
    NumberedSection section{n, prefix + std::to_string(n), {}};
    for (const std::string& key : KeyNames(section.Name)) {
      std::string value = Value(section.Name, key);
      // The reader stores at most the buffer's size less its terminator, cut
      // after a whole character: in UTF-8 up to three bytes short of it. A
      // value that comes that close may have been cut.
      if (platform::ToAnsi(value).size() + kCutMargin >= kIniBufferSize) {
        RaiseSectionError(section, "Der Wert von '" + key + "' ist zu lang (höchstens " +
                                       std::to_string(kIniBufferSize - kCutMargin - 1) + " Zeichen)");
      }
      section.Values.push_back({key, std::move(value)});
    }
    sections.push_back(std::move(section));
  }
  return sections;
}

void RaiseSectionError(const NumberedSection& section, const std::string& what) {
  RaiseError("Abschnitt '" + section.Name + "': " + what);
}

void RaiseUnknownKey(const NumberedSection& section, const std::string& key) {
  RaiseSectionError(section, "Unbekannter Schlüssel '" + key + "'");
}

std::string LogFile() { return ExpandEnvironmentVariable(Trim(Main("LogFile"))); }

std::optional<std::string> AppDataPath() {
  std::string value = Trim(Main("AppDataPath"));
  if (value.empty()) return std::nullopt;
  value = ExpandEnvironmentVariable(value);
  return ReplaceAll(value, "%NAME%", RunState.UserName);
}

std::string TemplateFolder() {
  std::string value = Main("TemplateFolder");
  value = value.empty() ? std::string("Vorlagen") : ExpandEnvironmentVariable(value);
  if (value.find('\\') == std::string::npos) value = RunState.ProgramFolderPath + value;
  return value;
}

bool NoNewMessageSignature() { return NumberIsOne(Main("NoNewMessageSignature")); }
bool NoReplyMessageSignature() { return NumberIsOne(Main("NoReplyMessageSignature")); }

std::string PlaceholderSymbol() {
  std::string value = Main("PlaceholderSymbol");
  return value.empty() ? std::string("@") : value;
}

bool EscapeValues() { return NumberIsOne(Main("EscapeValues")); }
bool DropEmptyLines() { return NumberIsOne(Main("DropEmptyLines")); }
bool TemplateConditions() { return NumberIsOne(Main("TemplateConditions")); }

std::string FixedSignType() { return ToLower(Main("FixedSignType")); }
std::string FixedSignTypeNoMobile() { return ToLower(Main("FixedSignTypeNoMobile")); }
std::string FixedSignTypeReply() { return ToLower(Main("FixedSignTypeReply")); }
std::string FixedSignTypeReplyNoMobile() { return ToLower(Main("FixedSignTypeReplyNoMobile")); }
std::string TargetSignType() { return Main("TargetSignType"); }
std::string TargetSignTypeReply() { return Main("TargetSignTypeReply"); }

int EmptySignatureFolder() {
  const double v = Val(Main("EmptySignatureFolder"));
  if (v == kEmptyToRecycleBin) return kEmptyToRecycleBin;
  if (v == kEmptyForGood) return kEmptyForGood;
  return 0;
}

std::string EMailAccount() { return Main("EMailAccount"); }
bool SetForAllEMailAccounts() { return NumberIsOne(Main("SetForAllEMailAccounts")); }
bool ModernOutlook() { return NumberIsOne(Main("ModernOutlook")); }
bool EscapeUserName() { return NumberIsOne(Main("EscapeUserName")); }
bool HidePasswordsInLog() { return NumberIsOne(Main("HidePasswordsInLog")); }
std::vector<std::string> ImageTypes() {
  static constexpr std::array<const char*, 5> kShown = {"gif", "jpg", "jpeg", "png", "bmp"};
  const std::string value = Main("ImageTypes");
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

bool ManagerData() { return NumberIsOne(Main("ManagerData")); }

bool MailboxSignatures() { return NumberIsOne(Main("MailboxSignatures")); }

bool RunStatus() { return NumberIsOne(Main("RunStatus")); }

int EventLog() {
  const double v = Val(Main("EventLog"));
  if (v == kEventLogFailures) return kEventLogFailures;
  if (v == kEventLogEveryRun) return kEventLogEveryRun;
  return 0;
}

std::string LDAPEncryption() { return Trim(Main("LDAPEncryption")); }

}  // namespace qm::Settings
