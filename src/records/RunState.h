// RunState: the run-wide values of one run (a member of its record, Run), and
// the program's name and version. Data only: every step of the run reads and
// writes them, none of them logs.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "records/Version.h"

namespace qm {

struct RunStateValues {
  bool DebugDialog = false;
  bool DebugLog = false;
  std::string DirectoryUser;
  // /SIMULATE (step 2): the run writes its signatures, registry.reg and
  // index.htm into the preview folder (set in step 10) and changes nothing else.
  bool Simulate = false;
  std::string PreviewFolderPath;  // ends in "\"
  // /CHECK: the configuration is checked and nothing is run or written.
  bool Check = false;
  std::string ConfigFilePath;
  // Step 4 found the configuration file: the common end reads its settings.
  bool ConfigFileFound = false;
  std::string ProgramFolderPath;  // ends in "\"
  std::string LogFilePath;
  // An audit's user: the log lines are held here and written once the user is
  // done, instead of appended to LogFilePath one at a time.
  bool HoldLog = false;
  std::string HeldLog;
  // Steps 4 and 5: LogFilePath is still the provisional log beside the exe.
  bool ProvisionalLog = false;
  // The day the signature rules take for today: /DATE:, else the local date
  // at the start of the run (step 6).
  platform::Date Today;
  bool ModernOutlook = false;  // setting of step 7: Outlook 2010 and later are known
  std::int32_t OutlookVersion = 0;
  std::string OutlookVersionName;
  std::string UserName;
  std::string AppDataFolderPath;
  std::string SignatureFolderPath;  // ends in "\"
  // Outlook's own signature folder (ends in "\"), in a simulation too, where
  // SignatureFolderPath is the preview folder.
  std::string OutlookSignatureFolderPath;
  // The files the run wrote into the signature folder (signatures, images,
  // photos), each once, as named there; and the files of earlier runs that it
  // removed (RemoveOldSignatures), or in a simulation would remove.
  std::vector<std::string> WrittenSignatureFiles;
  std::set<std::string> WrittenSignatureKeys;  // the same names in upper case, each once
  std::vector<std::string> RemovedSignatureFiles;
  // When the run began to write its signatures (the file system's clock): a
  // file another run wrote since then is not this run's to remove.
  std::int64_t SignaturesBegan = 0;
  std::string TemplateFolderPath;   // ends in "\"
  // Settings read in step 12.
  bool NoNewMessageSignature = false;
  bool NoReplyMessageSignature = false;
  std::string PlaceholderSymbol = "@";
  bool EscapeValues = false;    // values escaped for the htm and rtf they go into
  bool DropEmptyLines = false;  // template lines whose placeholders are all empty left out
  bool TemplateConditions = false;  // conditional blocks in templates
  // The extensions of the images that travel with a signature (configuration check).
  std::vector<std::string> ImageTypes = {"gif", "jpg", "jpeg"};
  // Set in steps 24 and 25: at least one image was copied beside the signatures.
  bool ImagesCopied = false;
  // The files directly in the template folder, listed once at the first image
  // copy: the names in listing order, and those the ANSI code page cannot hold.
  bool TemplateFolderListed = false;
  std::vector<std::string> TemplateFolderFiles;
  std::vector<std::string> UnusableTemplateFolderFiles;
  // The templates read so far, by path: the bytes of each one small enough to
  // keep (the check and every signature made from it read it once), and the
  // paths of those too large to keep, read again for each signature.
  std::map<std::string, std::string> TemplateTexts;
  std::set<std::string> LargeTemplates;
  // The images copied beside the signatures so far (lower-case names): each
  // is copied once, however many signatures it belongs to.
  std::set<std::string> CopiedImages;
  // ReportFileErrors (production step): the images that could not be copied
  // and the old signature files that could not be deleted, each logged.
  bool ReportFileErrors = false;
  std::uint32_t FileErrors = 0;
};

/// Exit status of the process: 0 after a finished run, 1 after an error, 2 when
/// the user stopped the run at a prompt.
inline constexpr int kExitFinished = 0;
inline constexpr int kExitError = 1;
inline constexpr int kExitUserStop = 2;

/// "1.0 Build 01": the version (records/Version.h) as the log's start line and
/// the window's caption show it.
std::string VersionText();

/// The program title: names the default log file, the window and the prompt.
inline constexpr const char* kProgramTitle = "Quillmark";

}  // namespace qm
