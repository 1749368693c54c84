// The registry record of a simulation.
#include "records/RegistryRecord.h"

#include "platform/files.h"

namespace qm {

namespace reg = platform::registry;

std::optional<RegistryRecording> RegistryRecord;

std::string RegistryRecordText() {
  return reg::RegFileText(RegistryRecord ? RegistryRecord->Values
                                         : std::vector<reg::ExportedValue>{});
}

void WriteRegistryRecord() {
  if (!RegistryRecord || RegistryRecord->FilePath.empty()) return;
  platform::OutputFile out(RegistryRecord->FilePath, platform::OutputFile::Mode::Replace);
  out.Write(reg::RegFileBytes(RegistryRecordText()));
  out.Close();
}

void RecordRegistryValue(reg::ExportedValue value) {
  if (!RegistryRecord) return;
  RegistryRecord->Values.push_back(std::move(value));
  if (!RegistryRecord->FilePath.empty()) WriteRegistryRecord();
}

}  // namespace qm
