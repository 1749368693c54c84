// WriteLog: every step's message goes to the progress window, the log file,
// both or neither, depending on the two debug switches.
#include "log/modHelper.h"

#include "log/frmMain.h"
#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/process.h"
#include "records/RunState.h"
#include "records/Settings.h"
#include "records/SignTypeLists.h"
#include "records/UserData.h"
#include "support/modTools.h"

namespace qm {
namespace {

constexpr const char* kCrLf = "\r\n";
// A section of the log file opens with these stars and closes with them and " Ende".
constexpr const char* kSectionMark = "**********";
// Each message in the window ends with a rule of this many dashes.
constexpr size_t kRuleWidth = 110;

void DumpUserData() {
  if (RunState.DebugDialog) frmMain::ShowUserData(UserData);
  if (RunState.DebugLog) {
    std::string text = "Ermittelte Benutzerdaten: ";
    for (const LabelledField& f : kUserDataDump) {
      text += kCrLf;
      text += f.label;
      text += UserData[f.field];
    }
    AppendToLog(text, false, false);
  }
}

void DumpSignTypes() {
  if (RunState.DebugDialog) {
    frmMain::ShowSignTypes(UserData, SignTypeSettings.Target, SignTypeSettings.TargetReply);
  }
  if (RunState.DebugLog) {
    std::string text = std::string("Ermittelte SignTypes: ") + kCrLf + "SignType=" +
                       UserData[UserField::SignType] + kCrLf + "SignTypeReply=" +
                       UserData[UserField::SignTypeReply] + kCrLf + "Ziel-SignType=" +
                       SignTypeSettings.Target + kCrLf + "Ziel-SignTypeReply=" +
                       SignTypeSettings.TargetReply;
    AppendToLog(text, false, false);
  }
}

}  // namespace

void WriteLog(const std::string& message, bool startSection, bool endSection) {
  if (!RunState.DebugDialog && !RunState.DebugLog) return;
  if (message == "USERDATA") {
    DumpUserData();
    return;
  }
  if (message == "SIGNTYPES") {
    DumpSignTypes();
    return;
  }
  if (RunState.DebugDialog) {
    std::string text = ReplaceAll(message, "|", std::string(":") + kCrLf);
    text += kCrLf;
    text += std::string(kRuleWidth, '-');
    text += kCrLf;
    frmMain::AppendMessage(text);
  }
  WriteLogToFile(message, startSection, endSection);
}

void WriteLogToFile(const std::string& message, bool startSection, bool endSection) {
  if (!RunState.DebugLog) return;
  const std::string t = ReplaceAll(message, "|", ": ");
  if (startSection) {
    AppendToLog(std::string(kSectionMark) + " " + t, true, false);
  } else if (endSection) {
    AppendToLog(std::string(kSectionMark) + " Ende", false, true);
  } else {
    AppendToLog(t, false, false);
  }
}

void SetProvisionalLogFile() {
  RunState.LogFilePath = AddBackslash(GetAppFolder()) + kProgramTitle + ".log";
  RunState.ProvisionalLog = true;
}

void AppendToLog(const std::string& text, bool blankBefore, bool blankAfter) {
  try {
    AppendLogLine(RunState.LogFilePath, text, blankBefore, blankAfter);
  } catch (const Error& e) {
    // An error before the configuration is read would otherwise reach nobody.
    // A TEMP folder the ANSI code page cannot name is no way out.
    const std::string temp = Trim(platform::EnvironmentValue("TEMP"));
    if (!RunState.ProvisionalLog || e.Number() != err::kPermissionDenied || temp.empty() ||
        !platform::HoldsInAnsi(temp))
      throw;
    RunState.LogFilePath = AddBackslash(temp) + kProgramTitle + ".log";
    RunState.ProvisionalLog = false;
    AppendLogLine(RunState.LogFilePath, text, blankBefore, blankAfter);
  }
}

void DetermineLogFile() {
  const std::string s = Settings::LogFile();
  if (s.empty()) {
    RunState.LogFilePath = RunState.ProgramFolderPath + kProgramTitle + ".log";
  } else if (s.find('\\') == std::string::npos) {
    RunState.LogFilePath = RunState.ProgramFolderPath + s + (EndsWithNoCase(s, ".log") ? "" : ".log");
  } else if (!EndsWithNoCase(s, ".log")) {
    SharedDir.Path = s;
    if (!SharedDir.Exists()) {
      RaiseError("Der konfigurierte Pfad '" + s + "' für die Log-Datei konnte nicht gefunden werden");
    }
    RunState.LogFilePath = AddBackslash(s) + "quillmark.log";
  } else {
    SharedDir.Path = GetParentFolder(s);
    if (!SharedDir.Exists()) {
      RaiseError("Der Pfad für die konfigurierte Log-Datei '" + s + "' konnte nicht gefunden werden");
    }
    RunState.LogFilePath = s;
  }
  RunState.ProvisionalLog = false;
}

}  // namespace qm
