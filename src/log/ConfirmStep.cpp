// ConfirmStep: the question before each main stage of a run with the progress
// window. "No" stops the run in order: the stop is logged and the log section
// closed, then the run goes to its common end.
#include "log/frmMain.h"
#include "log/modHelper.h"
#include "records/RunState.h"

namespace qm {

bool ConfirmStep(Run& run) {
  if (!run.RunState.DebugDialog) return true;
  if (frmMain::Ask("Weitermachen?", std::string(kProgramTitle) + " - Debug")) return true;
  WriteLog(run, "Abbruch durch Benutzer");
  // Only the log file gets the section's closing line; the window has its message.
  WriteLogToFile(run, "", false, true);
  return false;
}

}  // namespace qm
