// modMain: the entry routine Main with the run's fixed sequence of steps and
// its single error handler.
#pragma once

#include "records/Run.h"

namespace qm {

/// Step 12: the settings of the registration and the rendering, read into
/// the run's RunState.
void ReadSignatureSettings(Run& run);

/// The whole run. Returns the exit status; with the debug window it returns
/// only when the user has closed the window.
int Main();

}  // namespace qm
