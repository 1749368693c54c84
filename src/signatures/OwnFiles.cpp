// The program's own files in the signature folder (see OwnFiles.h).
#include "signatures/OwnFiles.h"

#include <cstdint>
#include <optional>
#include <set>
#include <span>

#include "log/modHelper.h"
#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "records/RunState.h"
#include "records/Settings.h"
#include "support/clsFileLib.h"
#include "support/modTools.h"

namespace qm {
namespace {

namespace reg = platform::registry;

// A file another run of the user wrote after this one began to write its
// signatures is not this run's to remove; file systems keep times as coarse
// as two seconds (FAT).
constexpr std::int64_t kTicksPerSecond = 10000000;
constexpr std::int64_t kClockMargin = 2 * kTicksPerSecond;
// More names than a signature folder ever holds: a record beyond it is not
// the program's.
constexpr std::size_t kMostRecordedNames = 100000;

// A name of the folder itself: no folder part, no drive, nothing Windows
// reads as another place.
bool InsideFolder(const std::string& name) {
  return !name.empty() && name.find_first_of("\\/:") == std::string::npos && name != "." && name != ".." &&
         !platform::IsDeviceName(name);
}

// The list as REG_MULTI_SZ data: each name in the ANSI code page with its
// terminator, and one more at the end.
std::vector<std::uint8_t> MultiString(const std::vector<std::string>& names) {
  std::vector<std::uint8_t> data;
  for (const std::string& name : names) {
    const std::string ansi = platform::ToAnsi(name);
    data.insert(data.end(), ansi.begin(), ansi.end());
    data.push_back(0);
  }
  data.push_back(0);
  return data;
}

void WriteRecord(Run& run, const std::string& folder) {
  try {
    const std::vector<std::uint8_t> data = MultiString(run.RunState.WrittenSignatureFiles);
    if (reg::SetValue(reg::kCurrentUser, kOwnFilesKey, folder, reg::kTypeMultiString, data)) {
      WriteLog(run, "-> ...Liste der geschriebenen Dateien gespeichert|" +
                        std::to_string(run.RunState.WrittenSignatureFiles.size()) + " Dateien");
      return;
    }
    WriteLog(run, "-> ...Liste der geschriebenen Dateien nicht gespeichert|HKEY_CURRENT_USER\\" +
                      std::string(kOwnFilesKey));
  } catch (const Error& e) {
    WriteLog(run, "-> ...Liste der geschriebenen Dateien nicht gespeichert|" + ErrorText(e.Number(), e.Description()));
  }
}

}  // namespace

void BeforeSignatureFileWrite(Run& run, const std::string& name) {
  if (run.RunState.Simulate || !Settings::ProtectSignatures(run)) return;
  const std::string path = run.RunState.SignatureFolderPath + name;
  if (platform::IsReadOnly(path)) platform::SetReadOnly(path, false);
}

void AfterSignatureFileWrite(Run& run, const std::string& name) {
  // Compared as Windows compares file names: without regard to case.
  if (!run.RunState.WrittenSignatureKeys.insert(ToUpper(name)).second) return;
  run.RunState.WrittenSignatureFiles.push_back(name);
  if (!Settings::ProtectSignatures(run)) return;
  // A preview shows what a run would protect, and leaves its files writable.
  if (run.RunState.Simulate) {
    WriteLog(run, "-> Schreibschutz (Simulation)|" + name);
    return;
  }
  const bool done = platform::SetReadOnly(run.RunState.SignatureFolderPath + name, true);
  WriteLog(run, std::string(done ? "-> Schreibschutz gesetzt|" : "-> Schreibschutz nicht gesetzt|") + name);
}

std::vector<std::string> RecordedSignatureFiles(const std::string& folder) {
  const std::optional<reg::RawValue> raw = reg::QueryValue(reg::kCurrentUser, kOwnFilesKey, folder);
  if (!raw) return {};
  if (raw->type != reg::kTypeMultiString) throw err::Make(err::kTypeMismatch);
  std::vector<std::string> names;
  std::string name;
  for (std::uint8_t b : raw->data) {
    if (b != 0) {
      name += static_cast<char>(b);
      continue;
    }
    if (name.empty()) break;
    names.push_back(platform::FromAnsi(name));
    name.clear();
    if (names.size() > kMostRecordedNames) throw err::Make(err::kOverflow);
  }
  return names;
}

void RemoveOldSignatureFiles(Run& run) {
  const int mode = Settings::RemoveOldSignatures(run);
  if (mode == 0) return;
  const std::string& folder = run.RunState.OutlookSignatureFolderPath;
  WriteLog(run, "Entferne alte Signaturen");
  // The record of an audited user lies on the user's PC, not on this one.
  if (run.Audited) {
    WriteLog(run, "-> ...Liste der geschriebenen Dateien liegt auf dem PC des Benutzers");
    return;
  }
  std::vector<std::string> recorded;
  try {
    recorded = RecordedSignatureFiles(folder);
  } catch (const Error& e) {
    // Without the record nothing is known to be the program's: nothing goes.
    WriteLog(run, "-> ...Liste der geschriebenen Dateien nicht lesbar, nichts entfernt|" +
                      ErrorText(e.Number(), e.Description()));
    recorded.clear();
  }
  const bool emptied = Settings::EmptySignatureFolder(run) != 0;
  if (!emptied) {
    const std::int64_t began = run.RunState.SignaturesBegan - kClockMargin;
    std::set<std::string> seen;
    for (const std::string& name : recorded) {
      const std::string key = ToUpper(name);
      if (run.RunState.WrittenSignatureKeys.contains(key) || !seen.insert(key).second) continue;
      if (!InsideFolder(name)) {
        WriteLog(run, "-> ...Eintrag außerhalb des Signaturordners ignoriert|" + name);
        continue;
      }
      const std::string path = folder + name;
      const std::optional<std::int64_t> written = platform::LastWriteTicks(path);
      if (!written || !platform::CanOpenForReading(path)) continue;  // gone already
      if (*written >= began) {
        WriteLog(run, "-> ...Nicht entfernt (eben von einem anderen Lauf geschrieben)|" + name);
        continue;
      }
      run.RunState.RemovedSignatureFiles.push_back(name);
      if (run.RunState.Simulate) {
        WriteLog(run, "-> Würde entfernt|" + name);
        continue;
      }
      if (platform::IsReadOnly(path)) platform::SetReadOnly(path, false);
      run.SharedFile.FileName = path;
      const bool removed = run.SharedFile.FileDelete(
          mode == Settings::kEmptyToRecycleBin ? kDeleteToRecycleBin : kDeleteForGood, "", false, 0);
      WriteLog(run, std::string(removed ? "-> Alte Signaturdatei entfernt|" : "-> Alte Signaturdatei nicht entfernt|") +
                        name + (removed ? "" : ": " + run.SharedFile.LastFailure));
    }
  }
  if (!run.RunState.Simulate) WriteRecord(run, folder);
}

}  // namespace qm
