// /AUDIT:<folder>: every user of the configuration, run one after the other in
// one process exactly as their logon would run (a preview of each into a
// folder of its own), and one page and one CSV for the whole staff.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "records/Run.h"
#include "run/RunStatus.h"

namespace qm {

/// The log of an audited user, in the user's folder.
inline constexpr const char* kAuditLogName = "Quillmark.log";

/// One user's run: the run's steps for run.Audited, its error handled.
using AuditedRun = std::function<std::optional<RunError>(Run&)>;

/// The audit. run is the audit's own record (its configuration check, its
/// sources); runUser runs each user. Prints the summary (or the refusal) and
/// returns the exit status: 0 when no user's run would fail, 1 otherwise or
/// when the audit could not start. Never raises.
int RunAudit(Run& run, const std::string& argumentText, const AuditedRun& runUser);

}  // namespace qm
