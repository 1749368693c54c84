// modFiles: the production step. Empties the signature folder when configured,
// renders every signature of both lists and copies the images that belong to
// each one by the prefix of their file names.
#include "signatures/modFiles.h"

#include <vector>

#include "log/modHelper.h"
#include "records/ProducedSignatures.h"
#include "records/RunState.h"
#include "records/Settings.h"
#include "records/UserData.h"
#include "signatures/Rendering.h"
#include "signatures/SignTypes.h"
#include "support/modTools.h"

namespace qm {
namespace {

void ProduceSignature(const std::string& heading, const std::string& signType,
                      const std::string& target) {
  if (!TemplateFilesExist(signType)) {
    RaiseError("Fehlende Dateien für die Vorlage '" + signType + "'");
  }
  CreateSignatureFile(signType, target, kFormatHtm);
  CreateSignatureFile(signType, target, kFormatRtf);
  CreateSignatureFile(signType, target, kFormatTxt);
  WriteLog("Verarbeite Bilddateien");
  ProducedSignatures.push_back({heading, target, CopyImageFiles(target)});
}

}  // namespace

namespace {
// The files of a listing whose names the ANSI code page cannot hold: they are
// neither copied nor deleted, since the single-byte functions would take a
// look-alike or "?" (a wildcard) for their names.
void LogUnusableNames() {
  for (const std::string& name : SharedDir.UnusableNames)
    WriteLog("-> Übersprungen (Name nicht im ANSI-Zeichensatz)|" + name);
}
}  // namespace

void ClearSignatureFolder(int deleteMode) {
  // A file that cannot be deleted (locked, read-only folder) simply stays; the
  // step goes on with the next one.
  std::vector<std::string> files;
  try {
    bool descend = false;
    int count = 0;
    SharedDir.GetFilesInFolder(files, "", RunState.SignatureFolderPath, descend, count);
  } catch (...) {
  }
  LogUnusableNames();
  for (const std::string& name : files) {
    if (name.empty()) continue;
    try {
      SharedFile.FileName = RunState.SignatureFolderPath + name;
      SharedFile.FileDelete(deleteMode, "", false, 0);
    } catch (...) {
    }
  }
}

bool TemplateFilesExist(const std::string& signType) {
  for (const char* ext : {".htm", ".rtf", ".txt"}) {
    SharedFile.FileName = RunState.TemplateFolderPath + signType + ext;
    if (!SharedFile.Exists()) {
      SharedFile.RaiseIfInUse();
      return false;
    }
  }
  WriteLog("-> Alle Vorlagendateien gefunden");
  return true;
}

std::vector<std::string> CopyImageFiles(const std::string& name) {
  const std::string& templates = RunState.TemplateFolderPath;
  std::vector<std::string> copied;
  for (const std::string& ext : Split(kImageTypes, ";")) {
    std::vector<std::string> listing;
    bool descend = false;
    int count = 0;
    SharedDir.GetFilesInFolder(listing, ext, templates, descend, count);
    LogUnusableNames();
    std::string joined;
    for (const std::string& entry : listing) {
      if (!entry.empty()) joined += "|" + entry;
    }
    if (!joined.empty()) joined.erase(0, 1);
    std::vector<std::string> found;
    if (!joined.empty()) found = Split(joined, "|");
    WriteLog("-> " + std::to_string(found.size()) + " " + ToUpper(ext) + "-Dateien gefunden");
    for (const std::string& file : found) {
      const std::string lower = ToLower(file);
      const bool copy = ImageBelongsTo(lower, name);
      if (copy) {
        SharedFile.FileName = templates + file;
        SharedFile.FileCopy(RunState.SignatureFolderPath + lower, templates + file);
        RunState.ImagesCopied = true;
        copied.push_back(lower);
      }
      WriteLog("-> " + lower + (copy ? ": kopiert" : ""));
    }
  }
  return copied;
}

bool ImageBelongsTo(const std::string& lowerName, const std::string& target) {
  // The prefix is the target name as given: an upper-case letter in it never
  // matches the lower-cased file name.
  return lowerName.compare(0, target.size(), target) == 0 && lowerName.size() >= target.size();
}

bool IsCopiedImageType(const std::string& fileName) {
  for (const std::string& ext : Split(kImageTypes, ";")) {
    if (EndsWithNoCase(fileName, ext)) return true;
  }
  return false;
}

bool ProcessSignatures() {
  const int mode = Settings::EmptySignatureFolder();
  WriteLog("Leere Outlook-Signaturen-Ordner");
  // A simulation writes into its preview folder, whose other files stay.
  if (!RunState.Simulate) {
    if (mode == Settings::kEmptyToRecycleBin) ClearSignatureFolder(kDeleteToRecycleBin);
    if (mode == Settings::kEmptyForGood) ClearSignatureFolder(kDeleteForGood);
  }

  for (const PlannedSignature& planned : PlannedSignatures(UserData)) {
    WriteLog("Verarbeite " + planned.Heading);
    if (planned.Skipped) continue;
    ProduceSignature(planned.Heading, planned.SignType, planned.Target);
  }

  return ConfirmStep();
}

}  // namespace qm
