// WriteLog: every step's message goes to the progress window, the log file,
// both or neither, depending on the two debug switches.
#include "log/modHelper.h"

#include <array>

#include "log/frmMain.h"
#include "run/Settings.h"
#include "run/modMain.h"
#include "signatures/SignTypes.h"
#include "support/modTools.h"
#include "userdata/UserData.h"

namespace qm {
namespace {

constexpr const char* kCrLf = "\r\n";

// Window value labels filled by the "USERDATA" dump: index of lblVarValue and field.
struct IndexedField {
  int index;
  UserField field;
};
constexpr std::array<IndexedField, 23> kWindowFields = {{
    {1, UserField::FirstName}, {2, UserField::LastName}, {3, UserField::SignTitle1},
    {4, UserField::SignTitle2}, {5, UserField::Phone}, {6, UserField::Fax},
    {7, UserField::Mobile}, {8, UserField::EMail}, {9, UserField::Postcode},
    {10, UserField::City}, {11, UserField::Street}, {12, UserField::UserDef1},
    {13, UserField::UserDef2}, {14, UserField::UserDef3}, {15, UserField::UserDef4},
    {16, UserField::UserDef5}, {18, UserField::Initials}, {20, UserField::Title},
    {23, UserField::UserDef6}, {24, UserField::UserDef7}, {25, UserField::UserDef8},
    {26, UserField::UserDef9}, {27, UserField::UserDef10},
}};

// The log file's dump: labels and fields in this order.
struct LabelledField {
  const char* label;
  UserField field;
};
constexpr std::array<LabelledField, 23> kDumpFields = {{
    {"FirstName=", UserField::FirstName}, {"LastName=", UserField::LastName},
    {"Initials=", UserField::Initials}, {"Title=", UserField::Title},
    {"SignTitle1=", UserField::SignTitle1}, {"SignTitle2=", UserField::SignTitle2},
    {"Phone=", UserField::Phone}, {"Fax=", UserField::Fax}, {"Mobile=", UserField::Mobile},
    {"eMail=", UserField::EMail}, {"Postcode=", UserField::Postcode}, {"City=", UserField::City},
    {"Street=", UserField::Street}, {"UserDef1=", UserField::UserDef1},
    {"UserDef2=", UserField::UserDef2}, {"UserDef3=", UserField::UserDef3},
    {"UserDef4=", UserField::UserDef4}, {"UserDef5=", UserField::UserDef5},
    {"UserDef6=", UserField::UserDef6}, {"UserDef7=", UserField::UserDef7},
    {"UserDef8=", UserField::UserDef8}, {"UserDef9=", UserField::UserDef9},
    {"UserDef10=", UserField::UserDef10},
}};

void DumpUserData() {
  if (RunState.DebugDialog) {
    for (const IndexedField& f : kWindowFields) frmMain::SetValue(f.index, UserData[f.field]);
  }
  if (RunState.DebugLog) {
    std::string text = "Ermittelte Benutzerdaten: ";
    for (const LabelledField& f : kDumpFields) {
      text += kCrLf;
      text += f.label;
      text += UserData[f.field];
    }
    AppendLogLine(RunState.LogFilePath, text, false, false);
  }
}

void DumpSignTypes() {
  if (RunState.DebugDialog) {
    frmMain::SetValue(17, UserData[UserField::SignType]);
    frmMain::SetValue(19, UserData[UserField::SignTypeReply]);
    frmMain::SetValue(22, TargetSignTypeText());
    frmMain::SetValue(21, TargetSignTypeReplyText());
  }
  if (RunState.DebugLog) {
    std::string text = std::string("Ermittelte SignTypes: ") + kCrLf + "SignType=" +
                       UserData[UserField::SignType] + kCrLf + "SignTypeReply=" +
                       UserData[UserField::SignTypeReply] + kCrLf + "Ziel-SignType=" +
                       TargetSignTypeText() + kCrLf + "Ziel-SignTypeReply=" +
                       TargetSignTypeReplyText();
    AppendLogLine(RunState.LogFilePath, text, false, false);
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
    text += std::string(110, '-');
    text += kCrLf;
    frmMain::AppendMessage(text);
  }
  if (RunState.DebugLog) {
    const std::string t = ReplaceAll(message, "|", ": ");
    if (startSection) {
      AppendLogLine(RunState.LogFilePath, std::string(10, '*') + " " + t, true, false);
    } else if (endSection) {
      AppendLogLine(RunState.LogFilePath, std::string(10, '*') + " Ende", false, true);
    } else {
      AppendLogLine(RunState.LogFilePath, t, false, false);
    }
  }
}

void SetProvisionalLogFile() {
  RunState.LogFilePath = AddBackslash(GetAppFolder()) + kProgramTitle + ".log";
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
}

}  // namespace qm
