// modHelper: WriteLog, the one log operation of every step, and the step prompt.
#pragma once

#include <array>
#include <string>

#include "records/Run.h"

namespace qm {

/// What begins a section of the log and its end ("********** Ende").
inline constexpr const char* kLogSectionMark = "**********";

/// The fields of the log file's "USERDATA" dump, in its order, with its labels.
struct LabelledField {
  const char* label;
  UserField field;
};
inline constexpr std::array<LabelledField, 23> kUserDataDump = {{
    {"FirstName=", UserField::FirstName},   {"LastName=", UserField::LastName},
    {"Initials=", UserField::Initials},     {"Title=", UserField::Title},
    {"SignTitle1=", UserField::SignTitle1}, {"SignTitle2=", UserField::SignTitle2},
    {"Phone=", UserField::Phone},           {"Fax=", UserField::Fax},
    {"Mobile=", UserField::Mobile},         {"eMail=", UserField::EMail},
    {"Postcode=", UserField::Postcode},     {"City=", UserField::City},
    {"Street=", UserField::Street},         {"UserDef1=", UserField::UserDef1},
    {"UserDef2=", UserField::UserDef2},     {"UserDef3=", UserField::UserDef3},
    {"UserDef4=", UserField::UserDef4},     {"UserDef5=", UserField::UserDef5},
    {"UserDef6=", UserField::UserDef6},     {"UserDef7=", UserField::UserDef7},
    {"UserDef8=", UserField::UserDef8},     {"UserDef9=", UserField::UserDef9},
    {"UserDef10=", UserField::UserDef10},
}};

/// Shows the message in the progress window (DebugDialog) and appends it to the
/// log file (DebugLog). "USERDATA" and "SIGNTYPES" are dump commands.
void WriteLog(Run& run, const std::string& message, bool startSection = false, bool endSection = false);

/// The log-file half of WriteLog: with DebugLog the message is appended as
/// WriteLog appends it; the window is not touched.
void WriteLogToFile(Run& run, const std::string& message, bool startSection = false, bool endSection = false);

/// The step prompt: true = go on. Without DebugDialog always true. On "No" it
/// logs "Abbruch durch Benutzer" and closes the log section.
bool ConfirmStep(Run& run);

}  // namespace qm

namespace qm {

/// The provisional log file beside the executable (run step 4).
void SetProvisionalLogFile(Run& run);

/// AppendLogLine to the run's log file. The provisional log in a program
/// folder the user cannot write (an installation below Program Files) moves
/// to %TEMP%\Quillmark.log for the rest of the run; any other failure is
/// raised as AppendLogLine raises it.
void AppendToLog(Run& run, const std::string& text, bool blankBefore, bool blankAfter);

/// The final log file from the setting "LogFile" (run step 5); raises error 999
/// when a configured folder does not exist.
void DetermineLogFile(Run& run);

}  // namespace qm
