// modMain: the run. One pass through a fixed sequence of steps, one error
// handler for all of them, one common end.
#include "run/modMain.h"

#include <new>

#include "log/frmMain.h"
#include "log/modHelper.h"
#include "outlook/modOutlook.h"
#include "platform/codepage.h"
#include "platform/console.h"
#include "platform/error.h"
#include "platform/process.h"
#include "preview/PreviewPage.h"
#include "preview/RegistryFile.h"
#include "records/Mailboxes.h"
#include "records/Membership.h"
#include "records/ProducedSignatures.h"
#include "records/RegistryRecord.h"
#include "records/Rules.h"
#include "records/RunState.h"
#include "records/Settings.h"
#include "records/UserData.h"
#include "run/Audit.h"
#include "run/CheckMode.h"
#include "run/CommandLine.h"
#include "run/ConfigurationCheck.h"
#include "run/RunStatus.h"
#include "signatures/MailboxSignatures.h"
#include "signatures/Rules.h"
#include "signatures/SignTypes.h"
#include "signatures/modFiles.h"
#include "support/clsRegistry.h"
#include "support/modTools.h"
#include "userdata/DatabaseSource.h"
#include "userdata/DirectorySource.h"
#include "userdata/Sources.h"

namespace qm {

void ReadSignatureSettings(Run& run) {
  run.RunState.NoNewMessageSignature = Settings::NoNewMessageSignature(run);
  run.RunState.NoReplyMessageSignature = Settings::NoReplyMessageSignature(run);
  run.RunState.PlaceholderSymbol = Settings::PlaceholderSymbol(run);
  run.RunState.EscapeValues = Settings::EscapeValues(run);
  run.RunState.DropEmptyLines = Settings::DropEmptyLines(run);
  run.RunState.TemplateConditions = Settings::TemplateConditions(run);
}

namespace {

// The number of an error the program did not expect (a defect, not a failure
// of the run's environment): the run-time's "internal error".
constexpr long kInternalError = 51;

// A missing level of Outlook's signature folder is created; a simulation
// leaves Outlook's folders as they are.
void CreateIfMissing(Run& run, const std::string& path) {
  run.SharedDir.Path = path;
  if (!run.RunState.Simulate && !run.SharedDir.Exists()) run.SharedDir.Create();
}

// The preview folder of a simulation, created with every missing level, and
// its registry.reg without values: written first, so that a folder that cannot
// take files ends the run before any signature is written.
void PreparePreviewFolder(Run& run) {
  run.SharedDir.Path = run.RunState.PreviewFolderPath;
  run.SharedDir.CreatePath();
  StartRegistryFile(run, run.RunState.PreviewFolderPath + kPreviewRegistryName);
}

// Steps 2 to 28. False when the user stopped the run at a prompt.
bool RunSteps(Run& run) {
  // 2. The command line.
  const std::string argumentText = platform::ArgumentText();
  const CommandLineOptions options = ParseCommandLine(argumentText);
  if (options.ShowVersion) {
    ShowVersion(options.OptionsBesideVersion);
    return true;
  }
  run.RunState.DebugDialog = options.DebugDialog;
  run.RunState.DebugLog = options.DebugLog;
  run.RunState.DirectoryUser = options.DirectoryUser;
  run.RunState.Simulate = options.Simulate;
  // An audit's user: a preview with the log of /DEBUG:LOG, held until the
  // user is done, with no window and no other user.
  if (run.Audited) {
    run.RunState.DebugDialog = false;
    run.RunState.DebugLog = true;
    run.RunState.HoldLog = true;
    run.RunState.DirectoryUser.clear();
    run.RunState.Simulate = true;
  }
  // From here on no registry write of a simulation reaches the registry.
  if (run.RunState.Simulate) {
    run.RegistryRecord.emplace();
    run.RegistryRedirect = [&run](platform::registry::ExportedValue value) {
      RecordRegistryValue(run, std::move(value));
    };
  }

  // 3. The progress window.
  if (run.RunState.DebugDialog) frmMain::Show();

  // 4. Provisional log file, configuration file and program folder. A code
  // page the system cannot convert exactly is refused before the
  // configuration is read through it.
  SetProvisionalLogFile(run);
  if (const std::optional<std::string> refusal = platform::CodePageRefusal()) RaiseError(*refusal);
  // The paths of the command line go to the single-byte functions.
  if (!platform::HoldsInAnsi(argumentText)) {
    RaiseError("Die Befehlszeile enthält Zeichen, die im ANSI-Zeichensatz nicht darstellbar sind");
  }
  LocateConfigFile(run, options.ConfigParameter, argumentText);
  run.RunState.ConfigFileFound = true;

  // 5. The final log file; an audit's user's lies in the user's folder.
  DetermineLogFile(run);
  if (run.Audited) run.RunState.LogFilePath = AddBackslash(run.Audited->Folder) + kAuditLogName;

  // 6. The start lines.
  WriteLog(run, std::string("Starte ") + kProgramTitle + "|" + VersionText(), true, false);
  WriteLog(run, "...Konfigurationsdatei|" + run.RunState.ConfigFilePath);
  WriteLog(run, "...Programmordner|" + run.RunState.ProgramFolderPath);
  WriteLog(run, "...Log-Datei|" + run.RunState.LogFilePath);
  if (run.RunState.Simulate) {
    const std::string preview = run.Audited ? run.Audited->Folder : PreviewFolder(run, options.SimulateParameter);
    WriteLog(run, "...Simulation|" + preview);
    run.RunState.PreviewFolderPath = AddBackslash(preview);
  }
  run.RunState.Today = platform::LocalDate();
  if (options.DateParameter) {
    const std::optional<platform::Date> date = ParseDate(*options.DateParameter);
    if (!date) RaiseError("Ungültiges Datum '" + *options.DateParameter + "' in /DATE (erwartet JJJJ-MM-TT)");
    run.RunState.Today = *date;
    WriteLog(run, "...Datum|" + DateText(run.RunState.Today));
  }

  // 7. Outlook version.
  DetermineOutlookVersion(run);

  // 8. Windows user.
  WriteLog(run, "Ermittle Windows-Benutzer");
  run.RunState.UserName = run.Audited ? run.Audited->UserName : Trim(EnvironmentText("USERNAME"));
  WriteLog(run, "...Windows-Benutzername|" + run.RunState.UserName);

  // 9. Application-data folder.
  WriteLog(run, "Ermittle Anwendungsdatenordner");
  const std::optional<std::string> configuredAppData = Settings::AppDataPath(run);
  const std::string appData = configuredAppData ? *configuredAppData : Trim(EnvironmentText("APPDATA"));
  run.SharedDir.Path = appData;
  if (!run.SharedDir.Exists()) {
    // A preview writes nothing there: another user's folder (AppDataPath with
    // %NAME%) need not exist on the PC that previews.
    if (!run.RunState.Simulate) RaiseError("Anwendungsdatenordner '" + appData + "' nicht gefunden");
    WriteLog(run, "...Anwendungsdatenordner fehlt (die Simulation schreibt dort nichts)|" + appData);
  }
  run.RunState.AppDataFolderPath = appData;
  WriteLog(run, "...Pfad Anwendungsdaten|" + run.RunState.AppDataFolderPath);

  // 10. Outlook's signature folder, created when missing. A simulation writes
  // every signature into its preview folder instead.
  WriteLog(run, "Ermittle Outlook-Signaturen-Ordner");
  std::string path = AddBackslash(run.RunState.AppDataFolderPath) + "Microsoft";
  CreateIfMissing(run, path);
  path = AddBackslash(path) + SignatureFolderName(run);
  CreateIfMissing(run, path);
  WriteLog(run, "...Pfad Outlook-Signaturen|" + path);
  run.RunState.SignatureFolderPath = AddBackslash(path);
  run.RunState.OutlookSignatureFolderPath = run.RunState.SignatureFolderPath;
  if (run.RunState.Simulate) {
    PreparePreviewFolder(run);
    run.RunState.SignatureFolderPath = run.RunState.PreviewFolderPath;
  }

  // 11. Template folder.
  WriteLog(run, "Ermittle Vorlagenordner");
  const std::string templates = Settings::TemplateFolder(run);
  run.SharedDir.Path = templates;
  if (!run.SharedDir.Exists()) RaiseError("Angebener Ordner mit den Signaturvorlagen wurde nicht gefunden");
  WriteLog(run, "...Pfad Vorlagen|" + templates);
  run.RunState.TemplateFolderPath = AddBackslash(templates);

  // 12. Settings for the registration and the rendering.
  ReadSignatureSettings(run);

  // 13 to 15. Fixed and target sign types, then the first prompt.
  if (!ReadFixedSignTypes(run)) return false;

  // 16. Field mappings and the sources to use; the configuration check (the
  // signature rules, which may need the user's entry in the directory when no
  // field does, and the account sections).
  ReadFieldMappings(run);
  CheckConfiguration(run);
  if (RulesNeedDirectory(run)) run.UseDirectory = true;
  // With a signature set per mailbox, the mailboxes of the profile, whose own
  // data the directory step reads.
  if (Settings::MailboxSignatures(run)) ReadMailboxes(run);
  if (!run.Mailboxes.empty()) run.UseDirectory = true;

  // 17. Database, with its prompt.
  if (run.UseDatabase && !ReadDatabaseUserData(run)) return false;

  // 18. Directory, with the user-data dump and its prompt.
  // The groups, for the rules and for @IF MEMBEROF=...@ in templates.
  if (run.UseDirectory &&
      !ReadDirectoryUserData(run, RulesNeedGroups(run) || (run.RunState.TemplateConditions && TemplatesAskForMembership(run))))
    return false;

  // The signature rules on what the sources gave.
  run.RuleOutcome = ApplyRules(run, run.UserData, run.Membership);

  // 19 to 22. The sign type lists (the user's, then each mailbox's), and the
  // names that depend on them.
  ResolveSignTypes(run);
  ResolveMailboxSignTypes(run);
  CheckSignatureNames(run);

  // 23 to 26. The signatures, then the prompt.
  if (!ProcessSignatures(run)) return false;

  // 27. The default signatures.
  WriteLog(run, "Stelle Standard-Signatur für Outlook " + run.RunState.OutlookVersionName + " ein");
  const std::string newName = run.TargetSignTypes.empty() ? std::string() : run.TargetSignTypes[0];
  const std::string replyName =
      !run.TargetSignTypesReply.empty() && !run.TargetSignTypesReply[0].empty() ? run.TargetSignTypesReply[0]
                                                                        : newName;
  SetDefaultSignature(run, newName, replyName, run.RunState.OutlookVersion);

  // The preview page of a simulation, announced before the closing message.
  if (run.RunState.Simulate) WriteLog(run, "-> Vorschau|" + WritePreviewPage(run));

  // 28. The closing message.
  WriteLog(run, "Fertig ... Bitte klicken Sie auf 'Schließen', um die Anwendung zu beenden.", false, true);
  return true;
}

// The single error handler: the error line in the log file, the long message
// in the window. Writing the log may itself fail (a read-only log folder); the
// handler has no second level, so that failure is dropped.
void HandleError(Run& run, long number, const std::string& description) {
  if (number == 0) return;
  const std::string numberText = std::to_string(number);
  const std::string errorText = ErrorText(number, description);
  // Where a terminal started the run (the linux build), it shows the error
  // too; an audit shows its users' errors on its page.
  if (!run.Audited) platform::WriteErrorLine(errorText);
  try {
    if (!run.RunState.DebugLog) {
      AppendToLog(run, "@" + ToUpper(run.RunState.UserName) + " > " + errorText, false, false);
    } else {
      AppendToLog(run, errorText, false, false);
      AppendToLog(run, std::string(kLogSectionMark) + " Ende ", false, true);
    }
  } catch (...) {
  }
  run.RunState.DebugLog = false;
  try {
    WriteLog(run, "Es ist folgender Fehler aufgetreten|" + numberText + ": " + description + "\r\n" +
                 std::string(50, '-') + "\r\n" + "Die Anwendung wird beendet. " + "\r\n" + "\r\n" +
                 "Nähere Informationen finden Sie im Anwendungs-Log unter " + "\r\n" + "'" +
                 run.RunState.LogFilePath + "'",
             true, false);
  } catch (...) {
  }
}

// Steps 2 to 28 with the error handler, then the common end's closing line of
// a preview's registry.reg. Sets status; returns the error that ended the run.
std::optional<RunError> RunAndHandle(Run& run, int& status) {
  std::optional<RunError> failure;
  try {
    if (!RunSteps(run)) status = kExitUserStop;
  } catch (const Error& e) {
    if (e.Number() != 0) failure = RunError{e.Number(), e.Description()};
  } catch (const std::bad_alloc&) {
    failure = RunError{err::kOutOfMemory, err::Text(err::kOutOfMemory)};
  } catch (const std::exception& e) {
    failure = RunError{kInternalError, std::string("Interner Fehler: ") + e.what()};
  }
  if (failure) {
    HandleError(run, failure->Number, failure->Description);
    status = kExitError;
  }

  // 29. Common end. A preview's registry.reg gets its closing line whatever
  // the outcome: it holds what a real run would have left.
  if (run.RunState.Simulate) {
    try {
      FinishRegistryFile(run);
    } catch (...) {
    }
  }
  return failure;
}

}  // namespace

std::optional<RunError> RunAuditedUser(Run& run) {
  int status = kExitFinished;
  std::optional<RunError> failure = RunAndHandle(run, status);
  run.SharedFile = clsFileLib{};
  run.SharedDir = clsDirLib{};
  return failure;
}

int Main() {
  // 1. The run's record, its shared objects and every other run-wide value new.
  Run run;
  // /CHECK checks the configuration and runs nothing; /VERSION outranks it.
  const std::string argumentText = platform::ArgumentText();
  const CommandLineOptions options = ParseCommandLine(argumentText);
  if (options.Check && !options.ShowVersion) return RunCheck(run, argumentText);
  if (options.Audit && !options.ShowVersion) return RunAudit(run, argumentText, RunAuditedUser);
  int status = kExitFinished;
  const std::optional<RunError> failure = RunAndHandle(run, status);
  // The status and the event, after the error line and never in its place.
  ReportOutcome(run, status, failure);
  run.SharedFile = clsFileLib{};
  run.SharedDir = clsDirLib{};
  if (!run.RunState.DebugDialog) return status;
  try {
    frmMain::EnableButtons();
    frmMain::WaitUntilClosed();
  } catch (...) {
  }
  return status;
}

}  // namespace qm
