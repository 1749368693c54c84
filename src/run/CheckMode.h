// /CHECK: a configuration checked without running it, as "nginx -t" checks
// its own. The check reads the command line, the configuration file, the
// templates and their images, and asks the database and the directory what a
// run would ask (read only, within the run's time limits). It writes no
// signature, no registry value, no write-back of the configuration and no log
// file unless /DEBUG:LOG asks for one; it prints one line per finding and a
// summary line.
#pragma once

#include <string>

#include "records/Findings.h"
#include "records/Run.h"

namespace qm {

/// The file the findings go to when no console takes them (a Windows program
/// started from Explorer or a logon script): beside the configuration file.
inline constexpr const char* kCheckReportName = "Quillmark-Check.txt";

/// Checks the configuration the argument text names and reports every
/// finding: on standard output, else in kCheckReportName beside the
/// configuration (or the program, when the configuration's folder is
/// missing). Returns the exit status: 0 without errors, 1 with. Never raises.
int RunCheck(Run& run, const std::string& argumentText);

/// The check of an audit (/AUDIT): the command line, the configuration file,
/// its folders, keys, sections, rules and templates as RunCheck checks them,
/// but nothing about the user who runs it (the sources, the PC's profile).
/// Leaves run read as the check left it (the settings and mappings read).
/// Prints and writes nothing. Never raises.
FindingList CheckConfigurationOnly(Run& run, const std::string& argumentText);

/// The report of the findings: one line each ("Fehler: <where>: <what>",
/// "Warnung: ...", "Hinweis: ..."), then the summary line, each ended by "\n".
std::string CheckReport(const FindingList& findings);

}  // namespace qm
