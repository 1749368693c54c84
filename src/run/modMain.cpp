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

void ResetRun() {
  RunState = RunStateValues{};
  SharedFile = clsFileLib{};
  SharedDir = clsDirLib{};
  UserData = UserDataRecord{};
  ManagerData = UserDataRecord{};
  PhotoMapping = FieldMapping{};
  UserPhoto = PhotoRecord{};
  FieldMappings = {};
  UseDatabase = false;
  UseDirectory = false;
  SignTypes.clear();
  SignTypesReply.clear();
  TargetSignTypes.clear();
  TargetSignTypesReply.clear();
  SignTypeSettings = SignTypeTexts{};
  Rules.clear();
  RuleOutcome = RuleOutcomeRecord{};
  Membership = MembershipRecord{};
  MailAccounts.clear();
  Mailboxes.clear();
  AccountsWithUserSignatures.clear();
  AccountSections.clear();
  AccountAssignments.clear();
  ProducedSignatures.clear();
  RegistryRecord.reset();
  RegistryRedirect = nullptr;
}

namespace {

// The number of an error the program did not expect (a defect, not a failure
// of the run's environment): the run-time's "internal error".
constexpr long kInternalError = 51;

// A missing level of Outlook's signature folder is created; a simulation
// leaves Outlook's folders as they are.
void CreateIfMissing(const std::string& path) {
  SharedDir.Path = path;
  if (!RunState.Simulate && !SharedDir.Exists()) SharedDir.Create();
}

// The preview folder of a simulation, created with every missing level, and
// its registry.reg without values: written first, so that a folder that cannot
// take files ends the run before any signature is written.
void PreparePreviewFolder() {
  SharedDir.Path = RunState.PreviewFolderPath;
  SharedDir.CreatePath();
  StartRegistryFile(RunState.PreviewFolderPath + kPreviewRegistryName);
}

// Steps 2 to 28. False when the user stopped the run at a prompt.
bool RunSteps() {
  // 2. The command line.
  const std::string argumentText = platform::ArgumentText();
  const CommandLineOptions options = ParseCommandLine(argumentText);
  if (options.ShowVersion) {
    ShowVersion(options.OptionsBesideVersion);
    return true;
  }
  RunState.DebugDialog = options.DebugDialog;
  RunState.DebugLog = options.DebugLog;
  RunState.DirectoryUser = options.DirectoryUser;
  RunState.Simulate = options.Simulate;
  // From here on no registry write of a simulation reaches the registry.
  if (RunState.Simulate) {
    RegistryRecord.emplace();
    RegistryRedirect = RecordRegistryValue;
  }

  // 3. The progress window.
  if (RunState.DebugDialog) frmMain::Show();

  // 4. Provisional log file, configuration file and program folder. A code
  // page the system cannot convert exactly is refused before the
  // configuration is read through it.
  SetProvisionalLogFile();
  if (const std::optional<std::string> refusal = platform::CodePageRefusal()) RaiseError(*refusal);
  // The paths of the command line go to the single-byte functions.
  if (!platform::HoldsInAnsi(argumentText)) {
    RaiseError("Die Befehlszeile enthält Zeichen, die im ANSI-Zeichensatz nicht darstellbar sind");
  }
  LocateConfigFile(options.ConfigParameter, argumentText);
  RunState.ConfigFileFound = true;

  // 5. The final log file.
  DetermineLogFile();

  // 6. The start lines.
  WriteLog(std::string("Starte ") + kProgramTitle + "|" + VersionText(), true, false);
  WriteLog("...Konfigurationsdatei|" + RunState.ConfigFilePath);
  WriteLog("...Programmordner|" + RunState.ProgramFolderPath);
  WriteLog("...Log-Datei|" + RunState.LogFilePath);
  if (RunState.Simulate) {
    const std::string preview = PreviewFolder(options.SimulateParameter);
    WriteLog("...Simulation|" + preview);
    RunState.PreviewFolderPath = AddBackslash(preview);
  }
  RunState.Today = platform::LocalDate();
  if (options.DateParameter) {
    const std::optional<platform::Date> date = ParseDate(*options.DateParameter);
    if (!date) RaiseError("Ungültiges Datum '" + *options.DateParameter + "' in /DATE (erwartet JJJJ-MM-TT)");
    RunState.Today = *date;
    WriteLog("...Datum|" + DateText(RunState.Today));
  }

  // 7. Outlook version.
  DetermineOutlookVersion();

  // 8. Windows user.
  WriteLog("Ermittle Windows-Benutzer");
  RunState.UserName = Trim(EnvironmentText("USERNAME"));
  WriteLog("...Windows-Benutzername|" + RunState.UserName);

  // 9. Application-data folder.
  WriteLog("Ermittle Anwendungsdatenordner");
  const std::optional<std::string> configuredAppData = Settings::AppDataPath();
  const std::string appData = configuredAppData ? *configuredAppData : Trim(EnvironmentText("APPDATA"));
  SharedDir.Path = appData;
  if (!SharedDir.Exists()) {
    // A preview writes nothing there: another user's folder (AppDataPath with
    // %NAME%) need not exist on the PC that previews.
    if (!RunState.Simulate) RaiseError("Anwendungsdatenordner '" + appData + "' nicht gefunden");
    WriteLog("...Anwendungsdatenordner fehlt (die Simulation schreibt dort nichts)|" + appData);
  }
  RunState.AppDataFolderPath = appData;
  WriteLog("...Pfad Anwendungsdaten|" + RunState.AppDataFolderPath);

  // 10. Outlook's signature folder, created when missing. A simulation writes
  // every signature into its preview folder instead.
  WriteLog("Ermittle Outlook-Signaturen-Ordner");
  std::string path = AddBackslash(RunState.AppDataFolderPath) + "Microsoft";
  CreateIfMissing(path);
  path = AddBackslash(path) + SignatureFolderName();
  CreateIfMissing(path);
  WriteLog("...Pfad Outlook-Signaturen|" + path);
  RunState.SignatureFolderPath = AddBackslash(path);
  if (RunState.Simulate) {
    PreparePreviewFolder();
    RunState.SignatureFolderPath = RunState.PreviewFolderPath;
  }

  // 11. Template folder.
  WriteLog("Ermittle Vorlagenordner");
  const std::string templates = Settings::TemplateFolder();
  SharedDir.Path = templates;
  if (!SharedDir.Exists()) RaiseError("Angebener Ordner mit den Signaturvorlagen wurde nicht gefunden");
  WriteLog("...Pfad Vorlagen|" + templates);
  RunState.TemplateFolderPath = AddBackslash(templates);

  // 12. Settings for the registration and the rendering.
  RunState.NoNewMessageSignature = Settings::NoNewMessageSignature();
  RunState.NoReplyMessageSignature = Settings::NoReplyMessageSignature();
  RunState.PlaceholderSymbol = Settings::PlaceholderSymbol();
  RunState.EscapeValues = Settings::EscapeValues();
  RunState.DropEmptyLines = Settings::DropEmptyLines();
  RunState.TemplateConditions = Settings::TemplateConditions();

  // 13 to 15. Fixed and target sign types, then the first prompt.
  if (!ReadFixedSignTypes()) return false;

  // 16. Field mappings and the sources to use; the configuration check (the
  // signature rules, which may need the user's entry in the directory when no
  // field does, and the account sections).
  ReadFieldMappings();
  CheckConfiguration();
  if (RulesNeedDirectory()) UseDirectory = true;
  // With a signature set per mailbox, the mailboxes of the profile, whose own
  // data the directory step reads.
  if (Settings::MailboxSignatures()) ReadMailboxes();
  if (!Mailboxes.empty()) UseDirectory = true;

  // 17. Database, with its prompt.
  if (UseDatabase && !ReadDatabaseUserData()) return false;

  // 18. Directory, with the user-data dump and its prompt.
  // The groups, for the rules and for @IF MEMBEROF=...@ in templates.
  if (UseDirectory &&
      !ReadDirectoryUserData(RulesNeedGroups() || (RunState.TemplateConditions && TemplatesAskForMembership())))
    return false;

  // The signature rules on what the sources gave.
  RuleOutcome = ApplyRules(Rules, UserData, Membership, RunState.Today);

  // 19 to 22. The sign type lists (the user's, then each mailbox's), and the
  // names that depend on them.
  ResolveSignTypes();
  ResolveMailboxSignTypes(RunState.Today);
  CheckSignatureNames();

  // 23 to 26. The signatures, then the prompt.
  if (!ProcessSignatures()) return false;

  // 27. The default signatures.
  WriteLog("Stelle Standard-Signatur für Outlook " + RunState.OutlookVersionName + " ein");
  const std::string newName = TargetSignTypes.empty() ? std::string() : TargetSignTypes[0];
  const std::string replyName =
      !TargetSignTypesReply.empty() && !TargetSignTypesReply[0].empty() ? TargetSignTypesReply[0]
                                                                        : newName;
  SetDefaultSignature(newName, replyName, RunState.OutlookVersion);

  // The preview page of a simulation, announced before the closing message.
  if (RunState.Simulate) WriteLog("-> Vorschau|" + WritePreviewPage());

  // 28. The closing message.
  WriteLog("Fertig ... Bitte klicken Sie auf 'Schließen', um die Anwendung zu beenden.", false, true);
  return true;
}

// The single error handler: the error line in the log file, the long message
// in the window. Writing the log may itself fail (a read-only log folder); the
// handler has no second level, so that failure is dropped.
void HandleError(long number, const std::string& description) {
  if (number == 0) return;
  const std::string numberText = std::to_string(number);
  // Where a terminal started the run (the linux build), it shows the error too.
  platform::WriteErrorLine("Fehler " + numberText + ": " + description);
  try {
    if (!RunState.DebugLog) {
      AppendToLog("@" + ToUpper(RunState.UserName) + " > Fehler " + numberText + ": " + description, false,
                  false);
    } else {
      AppendToLog("Fehler " + numberText + ": " + description, false, false);
      AppendToLog(std::string(10, '*') + " Ende ", false, true);
    }
  } catch (...) {
  }
  RunState.DebugLog = false;
  try {
    WriteLog("Es ist folgender Fehler aufgetreten|" + numberText + ": " + description + "\r\n" +
                 std::string(50, '-') + "\r\n" + "Die Anwendung wird beendet. " + "\r\n" + "\r\n" +
                 "Nähere Informationen finden Sie im Anwendungs-Log unter " + "\r\n" + "'" +
                 RunState.LogFilePath + "'",
             true, false);
  } catch (...) {
  }
}

}  // namespace

int Main() {
  // 1. The shared objects (and every other run-wide value) new.
  ResetRun();
  // /CHECK checks the configuration and runs nothing; /VERSION outranks it.
  const std::string argumentText = platform::ArgumentText();
  const CommandLineOptions options = ParseCommandLine(argumentText);
  if (options.Check && !options.ShowVersion) return RunCheck(argumentText);
  int status = kExitFinished;
  std::optional<RunError> failure;
  try {
    if (!RunSteps()) status = kExitUserStop;
  } catch (const Error& e) {
    if (e.Number() != 0) failure = RunError{e.Number(), e.Description()};
  } catch (const std::bad_alloc&) {
    failure = RunError{err::kOutOfMemory, err::Text(err::kOutOfMemory)};
  } catch (const std::exception& e) {
    failure = RunError{kInternalError, std::string("Interner Fehler: ") + e.what()};
  }
  if (failure) {
    HandleError(failure->Number, failure->Description);
    status = kExitError;
  }

  // 29. Common end. A preview's registry.reg gets its closing line whatever
  // the outcome: it holds what a real run would have left.
  if (RunState.Simulate) {
    try {
      FinishRegistryFile();
    } catch (...) {
    }
  }
  // The status and the event, after the error line and never in its place.
  ReportOutcome(status, failure);
  SharedFile = clsFileLib{};
  SharedDir = clsDirLib{};
  if (!RunState.DebugDialog) return status;
  try {
    frmMain::EnableButtons();
    frmMain::WaitUntilClosed();
  } catch (...) {
  }
  return status;
}

}  // namespace qm
