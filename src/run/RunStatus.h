// What the tools of a fleet see of a run: its outcome as values under
// HKEY_CURRENT_USER\Software\Quillmark (RunStatus=1), an event in the system's
// event log (EventLog=1 or 2), and the answer to /VERSION.
#pragma once

#include <optional>
#include <string>

#include "records/Run.h"

namespace qm {

/// The error that ended a run: the number and description of its error line.
struct RunError {
  long Number = 0;
  std::string Description;
};

/// The common end's report of a run that found its configuration file and was
/// no simulation: with RunStatus=1 the values LastRun, LastExitCode,
/// LastError, Version, ConfigFile and SignaturesWritten (and FileErrors with
/// ReportFileErrors=1); with EventLog=1 an event for a failed run, with
/// EventLog=2 one for every run. A run that failed before it found its
/// configuration reports an event when the event source is registered (its
/// key below HKEY_LOCAL_MACHINE holds EventMessageFile). A status or an
/// event that cannot be written is reported by a line of its own in the log
/// file (and in the window); the run's exit status and its error line stay as
/// they are. Never throws.
void ReportOutcome(Run& run, int exitStatus, const std::optional<RunError>& error);

/// /VERSION: the version on standard output; the other options of the
/// command line, when there are any, named on standard error as not read.
void ShowVersion(const std::string& ignoredOptions);

}  // namespace qm
