// modFiles: the production step. Empties the signature folder when configured,
// renders every signature of both lists and copies the images that belong to
// each one by the prefix of their file names.
#include "signatures/modFiles.h"

#include <string_view>
#include <vector>

#include "log/modHelper.h"
#include "platform/error.h"
#include "platform/files.h"
#include "records/Mailboxes.h"
#include "records/Membership.h"
#include "records/ProducedSignatures.h"
#include "records/RunState.h"
#include "records/Settings.h"
#include "records/UserData.h"
#include "signatures/Rendering.h"
#include "signatures/MailboxSignatures.h"
#include "signatures/OwnFiles.h"
#include "signatures/SignTypes.h"
#include "support/Like.h"
#include "support/modTools.h"

namespace qm {
namespace {

// One signature: its three files rendered with its data, then the images of
// its (unsuffixed) target.
void ProduceSignature(Run& run, const PlannedSignature& planned, const std::string& imageTarget,
                      const SignatureData& data) {
  if (!TemplateFilesExist(run, planned.SignType)) {
    RaiseError("Fehlende Dateien für die Vorlage '" + planned.SignType + "'");
  }
  std::vector<std::string> photo;
  for (const int format : {kFormatHtm, kFormatRtf, kFormatTxt}) {
    std::string written = CreateSignatureFile(run, planned.SignType, planned.Target, format, data);
    if (!written.empty()) photo.push_back(std::move(written));
  }
  WriteLog(run, "Verarbeite Bilddateien");
  std::vector<std::string> images = CopyImageFiles(run, imageTarget);
  images.insert(images.end(), photo.begin(), photo.end());
  run.ProducedSignatures.push_back({planned.Heading, planned.Target, std::move(images)});
}

}  // namespace

namespace {
// ReportFileErrors: a file that the step could not copy or delete is said,
// with the reason, in the step log and, in a run without /DEBUG:LOG, as a
// line of its own in the form of the error line, so that a silent logon run
// tells it too; the run goes on. The line of the log is a report: a log that
// cannot be written does not end the run.
void ReportFileError(Run& run, const std::string& what, const std::string& path, const std::string& reason) {
  ++run.RunState.FileErrors;
  WriteLog(run, "-> " + what + "|" + path + ": " + reason);
  if (run.RunState.DebugLog) return;
  try {
    AppendLogLine(run.RunState.LogFilePath, "@" + ToUpper(run.RunState.UserName) + " > " + what + ": " + path + ": " + reason,
                  false, false);
  } catch (...) {
  }
}

// The files of a listing whose names the ANSI code page cannot hold: they are
// neither copied nor deleted, since the single-byte functions would take a
// look-alike or "?" (a wildcard) for their names.
void LogUnusableNames(Run& run) {
  for (const std::string& name : run.SharedDir.UnusableNames)
    WriteLog(run, "-> Übersprungen (Name nicht im ANSI-Zeichensatz)|" + name);
}
}  // namespace

void ClearSignatureFolder(Run& run, int deleteMode) {
  // A file that cannot be deleted (locked, read-only folder) simply stays; the
  // step goes on with the next one.
  std::vector<std::string> files;
  try {
    bool descend = false;
    int count = 0;
    run.SharedDir.GetFilesInFolder(files, "", run.RunState.SignatureFolderPath, descend, count);
  } catch (...) {
  }
  LogUnusableNames(run);
  for (const std::string& name : files) {
    if (name.empty()) continue;
    try {
      run.SharedFile.FileName = run.RunState.SignatureFolderPath + name;
      if (!run.SharedFile.FileDelete(deleteMode, "", false, 0) && run.RunState.ReportFileErrors) {
        ReportFileError(run, "Alte Signaturdatei nicht gelöscht", run.SharedFile.FileName, run.SharedFile.LastFailure);
      }
    } catch (...) {
    }
  }
}

SignatureData SignatureDataFor(const Run& run, const MailboxRecord* mailbox) {
  SignatureData data{&run.UserData};
  data.membership = &run.Membership;
  // The sender's photo, in every signature the sender sends.
  if (!run.PhotoMapping.Source.empty()) data.photo = &run.UserPhoto;
  const bool managers = Settings::ManagerData(run);
  if (managers) data.manager = &run.ManagerData;
  if (mailbox != nullptr) {
    // A mailbox's signatures: its data, its manager, its groups.
    data.mailbox = &mailbox->Data;
    data.membership = &mailbox->Membership;
    if (managers) data.mailboxManager = &mailbox->Manager;
  } else if (Settings::MailboxSignatures(run)) {
    // The user's own set with signatures per mailbox: @MAILBOX_...@ stand for the user.
    data.mailbox = &run.UserData;
    if (managers) data.mailboxManager = &run.ManagerData;
  }
  return data;
}

bool TemplateFilesExist(Run& run, const std::string& signType) {
  ConfigurationReads* audit = run.SharedConfiguration;
  for (const char* ext : {".htm", ".rtf", ".txt"}) {
    const std::string path = run.RunState.TemplateFolderPath + signType + ext;
    if (audit != nullptr && audit->ReadableTemplates.contains(path)) continue;
    run.SharedFile.FileName = path;
    if (!run.SharedFile.Exists()) {
      run.SharedFile.RaiseIfInUse();
      return false;
    }
    if (audit != nullptr) audit->ReadableTemplates.insert(path);
  }
  WriteLog(run, "-> Alle Vorlagendateien gefunden");
  return true;
}

namespace {

// The names of the list whose last characters are the extension, compared as
// a folder listing for that extension compares them.
std::vector<std::string> EndingIn(const std::vector<std::string>& names, const std::string& ext) {
  const std::string wanted = ToUpper(ext);
  std::vector<std::string> matching;
  for (const std::string& name : names) {
    if (name.size() >= wanted.size() && Like(ToUpper(name.substr(name.size() - wanted.size())), wanted))
      matching.push_back(name);
  }
  return matching;
}

// The files directly in the template folder, listed once per run.
void ListTemplateFolder(Run& run) {
  if (run.RunState.TemplateFolderListed) return;
  // An audit lists the folder once for all its users.
  ConfigurationReads* audit = run.SharedConfiguration;
  if (audit != nullptr) {
    const auto listed = audit->TemplateFolders.find(run.RunState.TemplateFolderPath);
    if (listed != audit->TemplateFolders.end()) {
      run.RunState.TemplateFolderFiles = listed->second.Files;
      run.RunState.UnusableTemplateFolderFiles = listed->second.Unusable;
      run.RunState.TemplateFolderListed = true;
      return;
    }
  }
  std::vector<std::string> listing;
  bool descend = false;
  int count = 0;
  run.SharedDir.GetFilesInFolder(listing, "*", run.RunState.TemplateFolderPath, descend, count);
  listing.resize(static_cast<size_t>(count));
  run.RunState.TemplateFolderFiles = std::move(listing);
  run.RunState.UnusableTemplateFolderFiles = run.SharedDir.UnusableNames;
  run.RunState.TemplateFolderListed = true;
  if (audit != nullptr) {
    audit->TemplateFolders[run.RunState.TemplateFolderPath] =
        FolderListing{run.RunState.TemplateFolderFiles, run.RunState.UnusableTemplateFolderFiles};
  }
}

// The files of the template folder whose names end in the extension, from the
// one listing of the run; each name that the ANSI code page cannot hold logged.
std::vector<std::string> TemplateFolderImages(Run& run, const std::string& ext) {
  ListTemplateFolder(run);
  for (const std::string& name : EndingIn(run.RunState.UnusableTemplateFolderFiles, ext))
    WriteLog(run, "-> Übersprungen (Name nicht im ANSI-Zeichensatz)|" + name);
  return EndingIn(run.RunState.TemplateFolderFiles, ext);
}

}  // namespace

std::vector<std::string> CopyImageFiles(Run& run, const std::string& name) {
  const std::string& templates = run.RunState.TemplateFolderPath;
  std::vector<std::string> copied;
  for (const std::string& ext : run.RunState.ImageTypes) {
    const std::vector<std::string> listing = TemplateFolderImages(run, ext);
    std::string joined;
    for (const std::string& entry : listing) {
      if (!entry.empty()) joined += "|" + entry;
    }
    if (!joined.empty()) joined.erase(0, 1);
    std::vector<std::string> found;
    if (!joined.empty()) found = Split(joined, "|");
    WriteLog(run, "-> " + std::to_string(found.size()) + " " + ToUpper(ext) + "-Dateien gefunden");
    for (const std::string& file : found) {
      const std::string lower = ToLower(file);
      const bool copy = ImageBelongsTo(lower, name);
      bool failed = false;
      if (copy) {
        // An image that belongs to several signatures is already there.
        if (run.RunState.CopiedImages.insert(lower).second) {
          run.SharedFile.FileName = templates + file;
          BeforeSignatureFileWrite(run, lower);
          failed = !run.SharedFile.FileCopy(run.RunState.SignatureFolderPath + lower, templates + file);
          if (!failed) AfterSignatureFileWrite(run, lower);
        }
        run.RunState.ImagesCopied = true;
        copied.push_back(lower);
      }
      WriteLog(run, "-> " + lower + (copy ? ": kopiert" : ""));
      if (failed && run.RunState.ReportFileErrors) {
        ReportFileError(run, "Bild nicht kopiert", templates + file, run.SharedFile.LastFailure);
      }
    }
  }
  return copied;
}

bool TemplatesAskForMembership(Run& run) {
  ListTemplateFolder(run);
  static constexpr std::string_view kMemberOf = "MEMBEROF";
  constexpr size_t kChunk = 1 << 16;
  for (const char* ext : {"htm", "rtf", "txt"}) {
    for (const std::string& name : EndingIn(run.RunState.TemplateFolderFiles, std::string(".") + ext)) {
      try {
        platform::InputFile file(run.RunState.TemplateFolderPath + name);
        // Upper case, with the last bytes of the previous piece in front, so
        // that a word across two pieces is found too.
        std::string text;
        std::string piece(kChunk, '\0');
        for (size_t n; (n = file.Read(piece.data(), piece.size())) > 0;) {
          text.erase(0, text.size() > kMemberOf.size() ? text.size() - kMemberOf.size() : 0);
          for (size_t i = 0; i < n; ++i)
            text += static_cast<char>(piece[i] >= 'a' && piece[i] <= 'z' ? piece[i] - 'a' + 'A' : piece[i]);
          if (text.find(kMemberOf) != std::string::npos) return true;
        }
      } catch (const Error&) {
        // A template that cannot be read now is refused when it is rendered;
        // until then it may ask for groups.
        return true;
      }
    }
  }
  return false;
}

bool ImageBelongsTo(const std::string& lowerName, const std::string& target) {
  // The prefix is the target name as given: an upper-case letter in it never
  // matches the lower-cased file name.
  return lowerName.compare(0, target.size(), target) == 0 && lowerName.size() >= target.size();
}

bool IsCopiedImageType(const Run& run, const std::string& fileName) {
  for (const std::string& ext : run.RunState.ImageTypes) {
    if (EndsWithNoCase(fileName, ext)) return true;
  }
  return false;
}

bool ProcessSignatures(Run& run) {
  const int mode = Settings::EmptySignatureFolder(run);
  run.RunState.ReportFileErrors = Settings::ReportFileErrors(run);
  run.RunState.SignaturesBegan = platform::FileClockTicks();
  WriteLog(run, "Leere Outlook-Signaturen-Ordner");
  // A simulation writes into its preview folder, whose other files stay.
  if (!run.RunState.Simulate) {
    if (mode == Settings::kEmptyToRecycleBin) ClearSignatureFolder(run, kDeleteToRecycleBin);
    if (mode == Settings::kEmptyForGood) ClearSignatureFolder(run, kDeleteForGood);
  }

  const SignatureData own = SignatureDataFor(run, nullptr);
  for (const PlannedSignature& planned : PlannedSignatures(run)) {
    WriteLog(run, "Verarbeite " + planned.Heading);
    if (planned.Skipped) continue;
    ProduceSignature(run, planned, planned.Target, own);
  }

  // Each mailbox's set, its names ending in " (address)"; its images are the
  // unsuffixed target's, which its htm names.
  for (const MailboxRecord& mailbox : run.Mailboxes) {
    WriteLog(run, "Verarbeite Postfach|" + mailbox.Address);
    const SignatureData data = SignatureDataFor(run, &mailbox);
    for (const PlannedSignature& planned : PlannedSignatures(mailbox)) {
      WriteLog(run, "Verarbeite " + planned.Heading);
      if (planned.Skipped) continue;
      const std::string imageTarget =
          planned.Target.substr(0, planned.Target.size() - mailbox.NameSuffix.size());
      ProduceSignature(run, planned, imageTarget, data);
    }
  }

  RemoveOldSignatureFiles(run);
  return ConfirmStep(run);
}

}  // namespace qm
