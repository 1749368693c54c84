// The command line and the location of the configuration file.
#pragma once

#include <string>

namespace qm {

struct CommandLineOptions {
  std::string ConfigParameter;
  bool DebugDialog = false;
  bool DebugLog = false;
  std::string DirectoryUser;
};

/// Parses the argument text (/INI:, /DEBUG:, /ADUSER:); never fails.
CommandLineOptions ParseCommandLine(const std::string& argumentText);

/// Sets RunState.ConfigFilePath and RunState.ProgramFolderPath from the
/// parameter; raises error 999 when the file or the folder does not exist.
void LocateConfigFile(const std::string& parameter, const std::string& argumentText);

}  // namespace qm
