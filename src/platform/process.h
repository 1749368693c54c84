// The process: its argument text, its own executable, its environment.
#pragma once

#include <string>

namespace qm::platform {

/// Called once from main() before anything else (POSIX keeps argv).
void InitProcess(int argc, char** argv);

/// The argument text: Windows: everything after the executable's name in the
/// command line, unchanged except for the blanks that separate it from the
/// name; POSIX: the arguments joined with one blank each. UTF-8.
std::string ArgumentText();

/// The folder of the running executable, core notation, no trailing backslash
/// (a root keeps its backslash).
std::string ExecutableFolder();

/// The executable's file name without folder and extension ("Quillmark").
std::string ExecutableBaseName();

/// The process's current folder, core notation, no trailing backslash (a root
/// keeps its backslash); "" when it cannot be told.
std::string CurrentFolder();

/// The value of an environment variable, "" when unset. POSIX: values that
/// begin with "/" come in core notation; an unset USERNAME falls back to USER,
/// an unset APPDATA to $XDG_CONFIG_HOME or $HOME/.config (set but empty stays empty).
std::string EnvironmentValue(const std::string& name);

/// Every %NAME% reference of a set variable replaced (ExpandEnvironmentStringsA).
std::string ExpandEnvironmentReferences(const std::string& text);

}  // namespace qm::platform
