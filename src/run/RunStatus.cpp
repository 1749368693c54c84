// The run's outcome for the tools of a fleet, written at the common end after
// the error handler: Intune's detection and remediation scripts read the
// status below HKEY_CURRENT_USER, monitoring agents read the event log. Both
// are reports about the run, not part of it: a failure to write them changes
// neither the exit status nor the run's own error line.
#include "run/RunStatus.h"

#include <cstdint>
#include <cstdio>

#include "log/modHelper.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/error.h"
#include "platform/eventlog.h"
#include "platform/registry.h"
#include "records/ProducedSignatures.h"
#include "records/RunState.h"
#include "records/Settings.h"
#include "support/modTools.h"

namespace qm {
namespace {

namespace reg = platform::registry;
namespace eventlog = platform::eventlog;

constexpr const char* kStatusPath = "Software\\Quillmark";
constexpr const char* kStatusKeyName = "HKEY_CURRENT_USER\\Software\\Quillmark";
// Where the MSI registers the event source (administrators only can).
constexpr const char* kEventSourcePath = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Quillmark";

// The event IDs are the exit statuses: a finished run, a failed one, one the
// user stopped at a prompt.
constexpr std::uint16_t kEventFinished = kExitFinished;
constexpr std::uint16_t kEventFailed = kExitError;
constexpr std::uint16_t kEventStopped = kExitUserStop;

// "2026-05-04T07:30:00": sorts as text, and PowerShell's [datetime] reads it.
std::string IsoTimestamp(const platform::DateTime& t) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", t.date.year, t.date.month, t.date.day, t.hour,
                t.minute, t.second);
  return text;
}

// Each value is written by itself, through the wide function: an error text
// with a letter the ANSI code page lacks (a driver's message, a user's name)
// is kept as it is.
void SetStatusText(const std::string& name, const std::string& text) {
  if (!reg::SetTextValue(reg::kCurrentUser, kStatusPath, name, text)) {
    RaiseError("Der Status konnte nicht unter '" + std::string(kStatusKeyName) + "' gespeichert werden (Wert '" +
               name + "')");
  }
}

void SetStatusNumber(const std::string& name, std::uint32_t number) {
  const std::uint8_t data[4] = {static_cast<std::uint8_t>(number), static_cast<std::uint8_t>(number >> 8),
                                static_cast<std::uint8_t>(number >> 16), static_cast<std::uint8_t>(number >> 24)};
  if (!reg::SetValue(reg::kCurrentUser, kStatusPath, name, reg::kTypeDword, data)) {
    RaiseError("Der Status konnte nicht unter '" + std::string(kStatusKeyName) + "' gespeichert werden (Wert '" +
               name + "')");
  }
}

std::string ErrorText(const RunError& error) { return qm::ErrorText(error.Number, error.Description); }

// LastRun goes last: a check that finds it fresh finds the other values of
// the same run beside it.
void WriteStatus(Run& run, int exitStatus, const std::optional<RunError>& error) {
  SetStatusNumber("LastExitCode", static_cast<std::uint32_t>(exitStatus));
  SetStatusText("LastError", error ? ErrorText(*error) : std::string());
  SetStatusNumber("SignaturesWritten", static_cast<std::uint32_t>(run.ProducedSignatures.size()));
  SetStatusText("Version", kDottedVersion);
  SetStatusText("ConfigFile", run.RunState.ConfigFilePath);
  // ReportFileErrors: the images not copied and old signatures not deleted
  // (0 also for a run that ended before its signatures).
  if (Settings::ReportFileErrors(run)) SetStatusNumber("FileErrors", run.RunState.FileErrors);
  SetStatusText("LastRun", IsoTimestamp(platform::LocalDateTime()));
}

// The event's text begins like the error line of a run without /DEBUG:LOG,
// with the user: one machine's log holds the runs of all who log on to it.
void WriteEvent(Run& run, int exitStatus, const std::optional<RunError>& error) {
  const std::string user = "@" + ToUpper(run.RunState.UserName) + " > ";
  if (error) {
    eventlog::Report(eventlog::EventType::Error, kEventFailed, user + ErrorText(*error));
  } else if (exitStatus == kExitUserStop) {
    eventlog::Report(eventlog::EventType::Information, kEventStopped, user + "Abbruch durch Benutzer");
  } else {
    eventlog::Report(eventlog::EventType::Information, kEventFinished,
                     user + "Fertig; geschriebene Signaturen: " + std::to_string(run.ProducedSignatures.size()));
  }
}

// After the run's own error line (if any), in its form: one more line in the
// log file, and the text in the window. The log may not be writable either.
void ReportFailure(Run& run, long number, const std::string& description) {
  const std::string text = qm::ErrorText(number, description);
  try {
    AppendToLog(run, "@" + ToUpper(run.RunState.UserName) + " > " + text, false, false);
  } catch (...) {
  }
  try {
    run.RunState.DebugLog = false;  // the run's section of the log is closed
    WriteLog(run, text);
  } catch (...) {
  }
}

// True when an installation registered the event source: the sign that
// someone reads the Application log of this PC.
bool EventSourceRegistered() {
  try {
    return reg::QueryValue(reg::kLocalMachine, kEventSourcePath, "EventMessageFile").has_value();
  } catch (const Error&) {
    return false;
  }
}

template <class Write>
void Attempt(Run& run, Write write) {
  try {
    write();
  } catch (const Error& e) {
    ReportFailure(run, e.Number(), e.Description());
  } catch (const std::exception& e) {
    ReportFailure(run, err::kPathFileAccess, e.what());
  }
}

}  // namespace

void ReportOutcome(Run& run, int exitStatus, const std::optional<RunError>& error) {
  if (run.RunState.Simulate) return;
  try {
    if (!run.RunState.ConfigFileFound) {
      // No configuration says whether events are wanted: an error that came
      // before it is reported where an installation registered the source,
      // as the log beside the exe is often where no one looks.
      if (error && EventSourceRegistered()) Attempt(run, [&] { WriteEvent(run, exitStatus, error); });
      return;
    }
    if (Settings::RunStatus(run)) Attempt(run, [&] { WriteStatus(run, exitStatus, error); });
    const int events = Settings::EventLog(run);
    if (events == Settings::kEventLogEveryRun || (events == Settings::kEventLogFailures && error)) {
      Attempt(run, [&] { WriteEvent(run, exitStatus, error); });
    }
  } catch (...) {
    // Reading the two settings does not fail; should it, the run's result stands.
  }
}

void ShowVersion(const std::string& ignoredOptions) {
  platform::Write(platform::Stream::Output,
                  std::string(kProgramTitle) + " " + kDottedVersion + " (" + VersionText() + ")\n");
  if (!ignoredOptions.empty()) {
    platform::Write(platform::Stream::Error,
                    "Mit /VERSION werden die übrigen Optionen nicht ausgewertet: " + ignoredOptions + "\n");
  }
}

}  // namespace qm
