// modHelper: WriteLog, the one log operation of every step, and the step prompt.
#pragma once

#include <string>

namespace qm {

/// Shows the message in the progress window (DebugDialog) and appends it to the
/// log file (DebugLog). "USERDATA" and "SIGNTYPES" are dump commands.
void WriteLog(const std::string& message, bool startSection = false, bool endSection = false);

/// The log-file half of WriteLog: with DebugLog the message is appended as
/// WriteLog appends it; the window is not touched.
void WriteLogToFile(const std::string& message, bool startSection = false, bool endSection = false);

/// The step prompt: true = go on. Without DebugDialog always true. On "No" it
/// logs "Abbruch durch Benutzer" and closes the log section.
bool ConfirmStep();

}  // namespace qm

namespace qm {

/// The provisional log file beside the executable (run step 4).
void SetProvisionalLogFile();

/// The final log file from the setting "LogFile" (run step 5); raises error 999
/// when a configured folder does not exist.
void DetermineLogFile();

}  // namespace qm
