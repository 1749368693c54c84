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
// Each message in the window ends with a rule of this many dashes.
constexpr size_t kRuleWidth = 110;

void DumpUserData(Run& run) {
  if (run.RunState.DebugDialog) frmMain::ShowUserData(run.UserData);
  if (run.RunState.DebugLog) {
    std::string text = "Ermittelte Benutzerdaten: ";
    for (const LabelledField& f : kUserDataDump) {
      text += kCrLf;
      text += f.label;
      text += run.UserData[f.field];
    }
    AppendToLog(run, text, false, false);
  }
}

void DumpSignTypes(Run& run) {
  if (run.RunState.DebugDialog) {
    frmMain::ShowSignTypes(run.UserData, run.SignTypeSettings.Target, run.SignTypeSettings.TargetReply);
  }
  if (run.RunState.DebugLog) {
    std::string text = std::string("Ermittelte SignTypes: ") + kCrLf + "SignType=" +
                       run.UserData[UserField::SignType] + kCrLf + "SignTypeReply=" +
                       run.UserData[UserField::SignTypeReply] + kCrLf + "Ziel-SignType=" +
                       run.SignTypeSettings.Target + kCrLf + "Ziel-SignTypeReply=" +
                       run.SignTypeSettings.TargetReply;
    AppendToLog(run, text, false, false);
  }
}

}  // namespace

void WriteLog(Run& run, const std::string& message, bool startSection, bool endSection) {
  if (!run.RunState.DebugDialog && !run.RunState.DebugLog) return;
  if (message == "USERDATA") {
    DumpUserData(run);
    return;
  }
  if (message == "SIGNTYPES") {
    DumpSignTypes(run);
    return;
  }
  if (run.RunState.DebugDialog) {
    std::string text = ReplaceAll(message, "|", std::string(":") + kCrLf);
    text += kCrLf;
    text += std::string(kRuleWidth, '-');
    text += kCrLf;
    frmMain::AppendMessage(text);
  }
  WriteLogToFile(run, message, startSection, endSection);
}

void WriteLogToFile(Run& run, const std::string& message, bool startSection, bool endSection) {
  if (!run.RunState.DebugLog) return;
  const std::string t = ReplaceAll(message, "|", ": ");
  if (startSection) {
    AppendToLog(run, std::string(kLogSectionMark) + " " + t, true, false);
  } else if (endSection) {
    AppendToLog(run, std::string(kLogSectionMark) + " Ende", false, true);
  } else {
    AppendToLog(run, t, false, false);
  }
}

void SetProvisionalLogFile(Run& run) {
  run.RunState.LogFilePath = AddBackslash(GetAppFolder()) + kProgramTitle + ".log";
  run.RunState.ProvisionalLog = true;
}

void AppendToLog(Run& run, const std::string& text, bool blankBefore, bool blankAfter) {
  if (run.RunState.HoldLog) {
    run.RunState.HeldLog += LogEntry(text, blankBefore, blankAfter);
    return;
  }
  try {
    AppendLogLine(run.RunState.LogFilePath, text, blankBefore, blankAfter);
  } catch (const Error& e) {
    // An error before the configuration is read would otherwise reach nobody.
    // A TEMP folder the ANSI code page cannot name is no way out.
    const std::string temp = Trim(platform::EnvironmentValue("TEMP"));
    if (!run.RunState.ProvisionalLog || e.Number() != err::kPermissionDenied || temp.empty() ||
        !platform::HoldsInAnsi(temp))
      throw;
    run.RunState.LogFilePath = AddBackslash(temp) + kProgramTitle + ".log";
    run.RunState.ProvisionalLog = false;
    AppendLogLine(run.RunState.LogFilePath, text, blankBefore, blankAfter);
  }
}

void DetermineLogFile(Run& run) {
  const std::string s = Settings::LogFile(run);
  if (s.empty()) {
    run.RunState.LogFilePath = run.RunState.ProgramFolderPath + kProgramTitle + ".log";
  } else if (s.find('\\') == std::string::npos) {
    run.RunState.LogFilePath = run.RunState.ProgramFolderPath + s + (EndsWithNoCase(s, ".log") ? "" : ".log");
  } else if (!EndsWithNoCase(s, ".log")) {
    run.SharedDir.Path = s;
    if (!run.SharedDir.Exists()) {
      RaiseError("Der konfigurierte Pfad '" + s + "' für die Log-Datei konnte nicht gefunden werden");
    }
    run.RunState.LogFilePath = AddBackslash(s) + "quillmark.log";
  } else {
    run.SharedDir.Path = GetParentFolder(s);
    if (!run.SharedDir.Exists()) {
      RaiseError("Der Pfad für die konfigurierte Log-Datei '" + s + "' konnte nicht gefunden werden");
    }
    run.RunState.LogFilePath = s;
  }
  run.RunState.ProvisionalLog = false;
}

}  // namespace qm
