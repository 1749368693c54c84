// The system's event log: one event per call. Windows: the Application log,
// source "Quillmark". POSIX: syslog, one datagram to the socket at
// QUILLMARK_SYSLOG or /dev/log (where journald and rsyslog listen) under the
// identifier "Quillmark".
#pragma once

#include <cstdint>
#include <string>

namespace qm::platform::eventlog {

enum class EventType { Information, Error };

/// The event source and syslog identifier.
inline constexpr const char* kSource = "Quillmark";

/// Writes one event of the type with the ID and the text (UTF-8). Windows:
/// ReportEventW with the text as its one insertion string. POSIX: the syslog
/// line "<priority>Mmm dd hh:mm:ss Quillmark[pid]: text" (facility user,
/// priority err or info; the event ID is Windows' alone). Throws qm::Error
/// with a number and a German description when the log refuses the event or
/// cannot be reached; never waits longer than a few seconds.
void Report(EventType type, std::uint16_t id, const std::string& text);

}  // namespace qm::platform::eventlog
