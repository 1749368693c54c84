// modMain: the entry routine Main with the run's fixed sequence of steps and
// its single error handler.
#pragma once

namespace qm {

/// Every run-wide value of every module back to its state at process start:
/// RunState, the shared objects, UserData and the field mappings, the sign
/// type lists and texts, the mail accounts, the produced signatures and the
/// registry record of a simulation. Main starts with it; so does every
/// test that runs steps of a run.
void ResetRun();

/// The whole run. Returns the exit status; with the debug window it returns
/// only when the user has closed the window.
int Main();

}  // namespace qm
