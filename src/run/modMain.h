// modMain: the entry routine Main with the run's fixed sequence of steps and
// its single error handler.
#pragma once

#include <optional>

#include "records/Run.h"
#include "run/RunStatus.h"

namespace qm {

/// Step 12: the settings of the registration and the rendering, read into
/// the run's RunState.
void ReadSignatureSettings(Run& run);

/// One user's run of an audit (run.Audited set): the steps of a run as a
/// preview into the user's folder, its log held in the run, the error (if
/// one ended it) handled as a run's. Returns that error.
std::optional<RunError> RunAuditedUser(Run& run);

/// The whole run. Returns the exit status; with the debug window it returns
/// only when the user has closed the window.
int Main();

}  // namespace qm
