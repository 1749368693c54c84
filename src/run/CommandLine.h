// The command line and the location of the configuration file.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "records/Run.h"

namespace qm {

/// The options of the command line, as the parser compares their names: the
/// catalogue that /CHECK holds an unknown option against and the README's
/// table lists. A new option is one more name here.
inline constexpr std::string_view kOptionNames[] = {"INI",  "DEBUG", "ADUSER",  "SIMULATE",
                                                    "DATE", "CHECK", "VERSION", "AUDIT"};

struct CommandLineOptions {
  std::string ConfigParameter;
  bool DebugDialog = false;
  bool DebugLog = false;
  std::string DirectoryUser;
  /// /SIMULATE: a preview instead of a real run, into the folder SimulateParameter
  /// names (relative to the program folder when it holds no backslash).
  bool Simulate = false;
  std::string SimulateParameter;
  /// /DATE:YYYY-MM-DD: the day the signature rules take for today, as written.
  std::optional<std::string> DateParameter;
  /// /AUDIT:<folder>: every user of the configuration previewed into a folder
  /// of their own below AuditParameter (relative as for /SIMULATE).
  bool Audit = false;
  std::string AuditParameter;
  /// /CHECK (with or without ":"): the configuration is checked, not run.
  bool Check = false;
  /// /VERSION: the version is shown and nothing else is done.
  bool ShowVersion = false;
  /// Every other option of the text as written ("/INI:x.ini /DEBUG:LOG"),
  /// for the note that /VERSION leaves them unread.
  std::string OptionsBesideVersion;
};

/// One option of the argument text as the parser reads it.
struct CommandLineOption {
  std::string Piece;               ///< the text after its "/", blanks trimmed
  std::string Name;                ///< the text before the first ":", trimmed, in upper case
  std::vector<std::string> Parts;  ///< the piece split at every ":" (Parts[0]: the name as written)
};

/// The options of the argument text, in order: each text after a "/". Never fails.
std::vector<CommandLineOption> SplitCommandLine(const std::string& argumentText);

/// Parses the argument text (/INI:, /DEBUG:, /ADUSER:, /SIMULATE:, /DATE:,
/// /CHECK, /VERSION); never fails.
CommandLineOptions ParseCommandLine(const std::string& argumentText);

/// Sets RunState.ConfigFilePath and RunState.ProgramFolderPath from the
/// parameter; raises error 999 when the file or the folder does not exist.
/// Without a parameter: the exe's name with ".ini" beside it; for a name
/// ending in "64", when that file is missing, the name without "64" and ".ini".
void LocateConfigFile(Run& run, const std::string& parameter, const std::string& argumentText);

/// The error text of a configuration file that LocateConfigFile did not
/// find, with the whole argument text.
std::string ConfigFileMissingText(const std::string& argumentText);

/// The preview folder the /SIMULATE: parameter names, as written (not yet
/// with a backslash at its end): a parameter without a backslash (an empty
/// one too) below RunState.ProgramFolderPath. Never fails.
std::string PreviewFolder(Run& run, const std::string& parameter);

}  // namespace qm
