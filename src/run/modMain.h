// modMain: the entry routine Main with the run's fixed sequence of steps and
// its single error handler.
#pragma once

namespace qm {

/// The whole run. Returns the exit status; with the debug window it returns
/// only when the user has closed the window.
int Main();

}  // namespace qm
