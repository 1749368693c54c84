// The audit of the whole staff (see Audit.h).
#include "run/Audit.h"

#include <algorithm>
#include <chrono>
#include <new>
#include <set>
#include <vector>

#include "log/modHelper.h"
#include "platform/codepage.h"
#include "platform/common/text.h"
#include "platform/console.h"
#include "platform/error.h"
#include "platform/files.h"
#include "preview/AuditPage.h"
#include "preview/PreviewPage.h"
#include "records/AuditRows.h"
#include "records/Findings.h"
#include "records/Mailboxes.h"
#include "records/Rules.h"
#include "records/RunState.h"
#include "records/Settings.h"
#include "records/UserData.h"
#include "run/CheckMode.h"
#include "run/CommandLine.h"
#include "signatures/Placeholders.h"
#include "support/modTools.h"
#include "userdata/AuditSources.h"
#include "userdata/SharedSources.h"

namespace qm {
namespace {

using Clock = std::chrono::steady_clock;

// A user's run that failed after this long waited for a source that stopped
// answering (the shortest time limit of a source, the database's login): the
// users after it are not run, they get its error.
constexpr std::chrono::seconds kStoppedAnswering{15};

constexpr const char* kOk = "OK";

std::size_t ErrorCount(const FindingList& findings) {
  return static_cast<std::size_t>(std::count_if(findings.begin(), findings.end(),
                                                [](const Finding& f) { return f.Level == Severity::Error; }));
}

// What standard output does not take goes nowhere else: the page holds it.
void Print(const std::string& text) { platform::Write(platform::Stream::Output, text); }
void PrintError(const std::string& text) { platform::Write(platform::Stream::Error, text); }

// Each name once, compared as Windows compares user names (without regard to
// case); the first spelling and place stay. Empty names are none.
std::vector<std::string> DistinctNames(const std::vector<std::string>& names) {
  std::vector<std::string> distinct;
  std::set<std::string> seen;
  for (const std::string& name : names) {
    if (name.empty() || !seen.insert(platform::text::ToLower(name)).second) continue;
    distinct.push_back(name);
  }
  return distinct;
}

std::vector<std::string> Prefixed(const char* prefix, const std::vector<int>& numbers) {
  std::vector<std::string> texts;
  for (int n : numbers) texts.push_back(prefix + std::to_string(n));
  return texts;
}

// The fields of the user's own placeholders that the templates the run read
// use and the user's data leaves empty, in field order.
std::vector<std::string> EmptyFields(const Run& run) {
  const std::string symbol = platform::ToAnsi(run.RunState.PlaceholderSymbol);
  std::set<int> fields;
  for (const auto& [path, bytes] : run.RunState.TemplateTexts) {
    for (const Placeholder& p : kPlaceholders) {
      if (bytes.find(symbol + std::string(p.name) + symbol) == std::string::npos) continue;
      std::vector<UserField> used = {p.field};
      if (p.kind == PlaceholderValue::FullName) used = {UserField::FirstName, UserField::LastName};
      if (p.kind == PlaceholderValue::SignTitle) used = {UserField::SignTitle1, UserField::SignTitle2};
      for (UserField f : used) {
        if (run.UserData[f].empty()) fields.insert(static_cast<int>(f));
      }
    }
  }
  std::vector<std::string> names;
  for (int f : fields) names.emplace_back(kUserFieldNames[static_cast<std::size_t>(f)]);
  return names;
}

// The fields "AuditRequire" names, as written (blanks around them dropped).
std::vector<std::string> RequiredFields(const Run& run) {
  std::vector<std::string> names;
  for (const std::string& piece : Split(Settings::Main(run, "AuditRequire"), ",")) {
    const std::string name = Trim(piece);
    if (!name.empty()) names.push_back(name);
  }
  return names;
}

std::vector<std::string> Warnings(const Run& run, const std::vector<std::string>& required) {
  std::vector<std::string> warnings;
  for (const std::string& name : required) {
    const auto field = std::find_if(kUserFieldNames.begin(), kUserFieldNames.end(),
                                    [&](const char* known) { return platform::text::EqualsNoCase(known, name); });
    if (field == kUserFieldNames.end()) continue;
    if (run.UserData[static_cast<UserField>(field - kUserFieldNames.begin())].empty())
      warnings.push_back("Pflichtfeld '" + std::string(*field) + "' ist leer");
  }
  return warnings;
}

AuditRow RowOf(const Run& run, const std::string& user, const std::optional<RunError>& failure,
               const std::vector<std::string>& required) {
  AuditRow row;
  row.User = user;
  row.Name = Trim(run.UserData[UserField::FirstName] + " " + run.UserData[UserField::LastName]);
  row.Failed = failure.has_value();
  row.Outcome = failure ? ErrorText(failure->Number, failure->Description) : kOk;
  row.SignTypes = run.SignTypes;
  row.SignTypesReply = run.SignTypesReply;
  row.Targets = run.TargetSignTypes;
  row.TargetsReply = run.TargetSignTypesReply;
  row.Rules = Prefixed("Rule", run.RuleOutcome.Matching);
  for (const MailboxRecord& m : run.Mailboxes) {
    row.Mailboxes.push_back(m.Address);
    // A mailbox's rules are its own: named with its address.
    for (const std::string& rule : Prefixed("Rule", m.RuleOutcome.Matching)) row.Rules.push_back(rule + " (" + m.Address + ")");
  }
  // A run that failed has no data to speak of: its error says it.
  if (!failure) {
    row.EmptyFields = EmptyFields(run);
    row.Warnings = Warnings(run, required);
  }
  return row;
}

// The audit's folder: the parameter of /AUDIT as /SIMULATE takes its own.
std::string AuditFolder(Run& run, const std::string& parameter) { return AddBackslash(PreviewFolder(run, parameter)); }

void WriteWhole(const std::string& path, const std::string& bytes) {
  platform::OutputFile file(path, platform::OutputFile::Mode::Replace);
  file.Write(bytes);
  file.Close();
}

// The folder of the user whose source stopped answering before the user's
// run: its log holds the error line the run would have ended with.
void WriteStoppedUser(const std::string& userFolder, const std::string& errorLine) {
  platform::CreateFolderPath(userFolder);
  WriteWhole(userFolder + "\\" + kAuditLogName,
             LogEntry(errorLine, false, false) + LogEntry(std::string(kLogSectionMark) + " Ende ", false, true));
}

// The audit's two files of the whole staff, written user by user.
struct AuditFiles {
  platform::OutputFile Csv;
  platform::OutputFile Page;
  AuditTally Tally;

  void Add(const AuditRow& row) {
    Csv.Write(AuditCsvLine(row));
    Page.Write(AuditPageRow(row));
    Tally.Add(row);
  }
};

// The users one after the other, each user's row into files. Raises the file
// system's error when a user's log or the audit's own files cannot be written.
void AuditUsers(Run& audit, const std::vector<std::string>& names, const std::string& folder,
                const AuditedRun& runUser, AuditFiles& files) {
  const std::vector<std::string> required = RequiredFields(audit);
  std::optional<std::string> stopped;  // the error of a source that stopped answering
  for (const std::string& name : names) {
    AuditRow row;
    row.User = name;
    const Clock::time_point start = Clock::now();
    const std::string folderName = AuditFolderName(name);
    std::vector<std::string> accounts;
    if (!stopped) {
      try {
        accounts = AuditAccounts(audit, name);
      } catch (const Error& e) {
        // A quick fault the user's run meets again and ends with, logged; a
        // source that stopped answering ends this user and everyone after.
        if (Clock::now() - start >= kStoppedAnswering) {
          stopped = ErrorText(e.Number(), e.Description());
          WriteStoppedUser(folder + folderName, *stopped);
          row.Folder = folderName;
          row.Opened = kAuditLogName;
        }
      }
    }
    if (stopped) {
      row.Failed = true;
      row.Outcome = *stopped;
    } else {
      Run run;
      run.Audited = AuditedUser{name, folder + folderName, std::move(accounts)};
      run.Shared = audit.Shared;
      run.SharedConfiguration = audit.SharedConfiguration;
      const std::optional<RunError> failure = runUser(run);
      // The user's folder holds the log even where the run ended before it
      // made the folder.
      run.SharedDir.Path = folder + folderName;
      run.SharedDir.CreatePath();
      WriteWhole(folder + folderName + "\\" + kAuditLogName, run.RunState.HeldLog);
      row = RowOf(run, name, failure, required);
      row.Folder = folderName;
      // A run that failed wrote no preview page: the link shows its log.
      row.Opened = failure ? kAuditLogName : kPreviewPageName;
      if (failure && Clock::now() - start >= kStoppedAnswering) stopped = row.Outcome;
    }
    audit.Shared->Rows.clear();
    audit.Shared->UserEntries.clear();
    files.Add(row);
  }
}

}  // namespace

int RunAudit(Run& run, const std::string& argumentText, const AuditedRun& runUser) {
  // One configuration check, then everybody.
  const FindingList findings = CheckConfigurationOnly(run, argumentText);
  if (ErrorCount(findings) > 0) {
    Print(CheckReport(findings));
    return kExitError;
  }
  SharedSources shared;
  run.Shared = &shared;
  // The configuration is the same for every user: read once.
  ConfigurationReads configuration;
  run.SharedConfiguration = &configuration;
  std::optional<AuditTally> tally;
  std::string folder;
  try {
    const CommandLineOptions options = ParseCommandLine(argumentText);
    if (Trim(options.AuditParameter).empty()) RaiseError("Für /AUDIT fehlt der Ordner: /AUDIT:<Ordner>");
    folder = AuditFolder(run, options.AuditParameter);
    const std::vector<std::string> names = DistinctNames(AuditUserNames(run));
    if (names.empty()) RaiseError("Für /AUDIT gibt es keine Benutzer: die Liste der Benutzer ist leer");
    run.SharedDir.Path = folder;
    run.SharedDir.CreatePath();
    AuditFiles files{platform::OutputFile(folder + kAuditCsvName, platform::OutputFile::Mode::Replace),
                     platform::OutputFile(folder + kAuditPageName, platform::OutputFile::Mode::Replace), {}};
    files.Csv.Write(AuditCsvHeader());
    files.Page.Write(AuditPageHead(std::string(kProgramTitle) + " – Prüfung aller Benutzer"));
    std::optional<Error> fileError;
    try {
      AuditUsers(run, names, folder, runUser, files);
    } catch (const Error& e) {
      // A disk that filled up: the page and the CSV still hold the users done.
      fileError = e;
    }
    tally = files.Tally;
    try {
      files.Page.Write(AuditPageEnd(files.Tally));
      files.Page.Close();
      files.Csv.Close();
    } catch (const Error& e) {
      if (!fileError) fileError = e;
    }
    if (fileError) throw *fileError;
  } catch (const Error& e) {
    PrintError(ErrorText(e.Number(), e.Description()) + "\n");
    if (tally) Print(AuditSummary(*tally, folder + kAuditPageName));
    run.Shared = nullptr;
    run.SharedConfiguration = nullptr;
    return kExitError;
  } catch (const std::bad_alloc&) {
    PrintError(ErrorText(err::kOutOfMemory, err::Text(err::kOutOfMemory)) + "\n");
    run.Shared = nullptr;
    run.SharedConfiguration = nullptr;
    return kExitError;
  }
  run.Shared = nullptr;
  run.SharedConfiguration = nullptr;
  Print(AuditSummary(*tally, folder + kAuditPageName));
  return tally->Failed > 0 ? kExitError : kExitFinished;
}

}  // namespace qm
