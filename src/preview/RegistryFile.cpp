// The registry.reg of a preview, kept in step with the registry record. The
// file is written as blocks that each begin with an empty line, so that a
// value for the last block and a new block are both appended at the end; the
// empty line that reg export writes after the last block comes at the end of
// the run. An audit's user's file is written once, whole, at the end of the run.
#include "preview/RegistryFile.h"

#include <span>

#include "platform/common/text.h"
#include "platform/files.h"
#include "records/RegistryRecord.h"

namespace qm {
namespace {

namespace reg = platform::registry;

constexpr std::string_view kLineEnd = "\r\n";
// The byte-order mark RegFileBytes puts before the text: two bytes of UTF-16LE.
constexpr std::size_t kByteOrderMarkBytes = 2;

// The registry's form of a name for comparisons.
std::string Folded(std::string_view name) { return platform::text::ToUpper(name); }

void Write(Run& run, const std::string& text, platform::OutputFile::Mode mode) {
  std::string bytes = reg::RegFileBytes(text);
  if (mode == platform::OutputFile::Mode::Append) bytes.erase(0, kByteOrderMarkBytes);
  platform::OutputFile out(run.RegistryRecord->FilePath, mode);
  out.Write(bytes);
  out.Close();
}

// The whole file anew: the record's text without its closing empty line.
void Rewrite(Run& run) {
  RegistryRecording& record = *run.RegistryRecord;
  std::string text = RegistryRecordText(run);
  text.resize(text.size() - kLineEnd.size());
  record.WrittenKeys.clear();
  record.LastKey.clear();
  record.LastKeyValueNames.clear();
  for (const reg::ExportedKey& key : reg::ExportedKeys(record.Values)) {
    record.LastKey = Folded(key.name);
    record.WrittenKeys.insert(record.LastKey);
    record.LastKeyValueNames.clear();
    for (const reg::ExportedValue& v : key.values) record.LastKeyValueNames.insert(Folded(v.name));
  }
  Write(run, text, platform::OutputFile::Mode::Replace);
}

}  // namespace

std::string RegistryRecordText(Run& run) {
  return reg::RegFileText(run.RegistryRecord ? run.RegistryRecord->Values
                                         : std::vector<reg::ExportedValue>{});
}

void StartRegistryFile(Run& run, const std::string& path) {
  if (!run.RegistryRecord) return;
  run.RegistryRecord->FilePath = path;
  run.RegistryRecord->WrittenAtEnd = run.Audited.has_value();
  if (!run.RegistryRecord->WrittenAtEnd) Rewrite(run);
}

void RecordRegistryValue(Run& run, reg::ExportedValue value) {
  if (!run.RegistryRecord) return;
  RegistryRecording& record = *run.RegistryRecord;
  // Its key as the file names it; this also refuses a name the file cannot hold.
  const std::string keyName = reg::ExportedKeys(std::span(&value, 1)).front().name;
  const std::string line = reg::ExportedValueLine(value);
  record.Values.push_back(std::move(value));
  if (record.FilePath.empty() || record.WrittenAtEnd) return;
  const std::string key = Folded(keyName);
  const std::string name = Folded(record.Values.back().name);
  if (key == record.LastKey && !record.LastKeyValueNames.contains(name)) {
    record.LastKeyValueNames.insert(name);
    Write(run, line + std::string(kLineEnd), platform::OutputFile::Mode::Append);
  } else if (!record.WrittenKeys.contains(key)) {
    record.WrittenKeys.insert(key);
    record.LastKey = key;
    record.LastKeyValueNames = {name};
    Write(run, std::string(kLineEnd) + "[" + keyName + "]" + std::string(kLineEnd) + line +
              std::string(kLineEnd),
          platform::OutputFile::Mode::Append);
  } else {
    Rewrite(run);
  }
}

void FinishRegistryFile(Run& run) {
  if (!run.RegistryRecord || run.RegistryRecord->FilePath.empty()) return;
  if (run.RegistryRecord->WrittenAtEnd) {
    Write(run, RegistryRecordText(run), platform::OutputFile::Mode::Replace);
    return;
  }
  Write(run, std::string(kLineEnd), platform::OutputFile::Mode::Append);
}

}  // namespace qm
