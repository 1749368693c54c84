// The command line and the configuration file's location.
#include "run/CommandLine.h"

#include "platform/files.h"
#include "records/RunState.h"
#include "support/modTools.h"

namespace qm {

namespace {

// The value of an option that takes a path: the parts after the name, each
// trimmed, joined again with ":" (so a drive letter survives).
std::string JoinedValue(const std::vector<std::string>& parts) {
  std::string value;
  for (size_t k = 1; k < parts.size(); ++k) {
    if (k > 1) value += ':';
    value += Trim(parts[k]);
  }
  return value;
}

// The configuration an exe whose name ends in "64" also reads when it has
// none of its own name: the name without "64" and ".ini" ("quillmark64" ->
// "quillmark.ini"); "" for any other name.
std::string SharedConfigName(const std::string& exeName) {
  constexpr std::string_view kBitnessSuffix = "64";
  if (exeName.size() <= kBitnessSuffix.size() || !exeName.ends_with(kBitnessSuffix)) return "";
  return exeName.substr(0, exeName.size() - kBitnessSuffix.size()) + ".ini";
}

// True when the file begins with the UTF-8 byte-order mark. A file that
// cannot be read here (a FIFO on Linux) is left to the profile functions,
// which read it as they can.
bool StartsWithUtf8Mark(const std::string& path) {
  constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
  std::string head(kUtf8Mark.size(), '\0');
  size_t got = 0;
  try {
    platform::InputFile file(path);
    while (got < head.size()) {
      const size_t n = file.Read(head.data() + got, head.size() - got);
      if (n == 0) break;
      got += n;
    }
  } catch (const Error&) {
    return false;
  }
  return got == head.size() && head == kUtf8Mark;
}

}  // namespace

std::vector<CommandLineOption> SplitCommandLine(const std::string& argumentText) {
  std::vector<CommandLineOption> options;
  const std::vector<std::string> pieces = Split(argumentText, "/");
  for (size_t i = 1; i < pieces.size(); ++i) {
    std::vector<std::string> parts = Split(pieces[i], ":");
    std::string name = ToUpper(Trim(parts[0]));
    options.push_back({Trim(pieces[i]), std::move(name), std::move(parts)});
  }
  return options;
}

CommandLineOptions ParseCommandLine(const std::string& argumentText) {
  CommandLineOptions options;
  if (argumentText.empty()) return options;
  for (const CommandLineOption& option : SplitCommandLine(argumentText)) {
    const std::vector<std::string>& parts = option.Parts;
    const std::string& name = option.Name;
    // The two options without a value.
    if (name == "VERSION") {
      options.ShowVersion = true;
      continue;
    }
    if (name == "CHECK") options.Check = true;
    if (!option.Piece.empty()) {
      if (!options.OptionsBesideVersion.empty()) options.OptionsBesideVersion += ' ';
      options.OptionsBesideVersion += "/" + option.Piece;
    }
    if (parts.size() < 2) continue;
    if (name == "INI") {
      options.ConfigParameter = JoinedValue(parts);
    } else if (name == "SIMULATE") {
      options.Simulate = true;
      options.SimulateParameter = JoinedValue(parts);
    } else if (name == "AUDIT") {
      options.Audit = true;
      options.AuditParameter = JoinedValue(parts);
    } else if (name == "DEBUG") {
      const std::string value = ToUpper(Trim(parts[1]));
      if (value == "TRUE") {
        options.DebugDialog = true;
        options.DebugLog = true;
      } else if (value == "DIALOG") {
        options.DebugDialog = true;
      } else if (value == "LOG") {
        options.DebugLog = true;
      }
    } else if (name == "ADUSER") {
      options.DirectoryUser = Trim(parts[1]);
    } else if (name == "DATE") {
      options.DateParameter = Trim(parts[1]);
    }
  }
  return options;
}

std::string ConfigFileMissingText(const std::string& argumentText) {
  return "Konfigurationsdatei nicht gefunden (Parameter=" + argumentText + ")";
}

void LocateConfigFile(Run& run, const std::string& parameter, const std::string& argumentText) {
  // An audit's users read the file the first of them found.
  ConfigurationReads* audit = run.SharedConfiguration;
  if (audit != nullptr && audit->ConfigFileAndProgramFolder) {
    run.RunState.ConfigFilePath = audit->ConfigFileAndProgramFolder->first;
    run.RunState.ProgramFolderPath = audit->ConfigFileAndProgramFolder->second;
    return;
  }
  if (parameter.empty()) {
    run.RunState.ProgramFolderPath = AddBackslash(GetAppFolder());
    run.RunState.ConfigFilePath = run.RunState.ProgramFolderPath + AppExeName() + ".ini";
    // The 64-bit exe beside the 32-bit one reads the configuration of both
    // (quillmark64.exe: quillmark.ini) when it has none of its own.
    const std::string shared = SharedConfigName(AppExeName());
    run.SharedFile.FileName = run.RunState.ConfigFilePath;
    if (!shared.empty() && !run.SharedFile.Exists()) {
      run.SharedFile.RaiseIfInUse();
      run.SharedFile.FileName = run.RunState.ProgramFolderPath + shared;
      if (run.SharedFile.Exists()) run.RunState.ConfigFilePath = run.SharedFile.FileName;
    }
  } else if (parameter.find('\\') == std::string::npos) {
    run.RunState.ProgramFolderPath = AddBackslash(GetAppFolder());
    run.RunState.ConfigFilePath = run.RunState.ProgramFolderPath + parameter;
  } else {
    run.RunState.ConfigFilePath = parameter;
    run.RunState.ProgramFolderPath = AddBackslash(GetParentFolder(parameter));
  }
  run.SharedFile.FileName = run.RunState.ConfigFilePath;
  if (!run.SharedFile.Exists()) {
    run.SharedFile.RaiseIfInUse();
    RaiseError(ConfigFileMissingText(argumentText));
  }
  // Windows' profile functions know the UTF-16 mark only: after a UTF-8 mark
  // (PowerShell 5's Out-File -Encoding utf8 writes one) the first section,
  // usually [Main], is never found, and every setting silently takes its
  // default.
  if (StartsWithUtf8Mark(run.RunState.ConfigFilePath)) {
    RaiseError("Die Konfigurationsdatei '" + run.RunState.ConfigFilePath +
               "' ist in UTF-8 (mit Byte-Order-Mark) gespeichert; bitte im ANSI-Zeichensatz "
               "(oder in UTF-16) speichern");
  }
  run.SharedDir.Path = run.RunState.ProgramFolderPath;
  if (!run.SharedDir.Exists()) RaiseError("Programmordner konnte nicht ermittelt werden");
  if (audit != nullptr) {
    audit->ConfigFileAndProgramFolder = {run.RunState.ConfigFilePath, run.RunState.ProgramFolderPath};
  }
}

std::string PreviewFolder(Run& run, const std::string& parameter) {
  if (parameter.find('\\') != std::string::npos) return parameter;
  return run.RunState.ProgramFolderPath + parameter;
}

}  // namespace qm
