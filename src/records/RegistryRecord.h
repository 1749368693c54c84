// The registry record of a simulation: what the run would have set in the
// registry, kept in the order of the writes and written as a .reg file.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace qm {

/// A simulation's registry (/SIMULATE): every value the registry object would
/// have set (handed over through RegistryRedirect), with its type and bytes,
/// in the order of the writes. Once FilePath names a file the whole record is
/// written there again after each write, so the file always holds what a real
/// run would have set so far.
struct RegistryRecording {
  std::string FilePath;  ///< the .reg file; "" until the preview folder is ready
  std::vector<platform::registry::ExportedValue> Values;
};
extern std::optional<RegistryRecording> RegistryRecord;

/// The record as the text of a .reg file (UTF-8; see platform::registry::RegFileText);
/// only the header when nothing is recorded. Raises error 1014 for a name a
/// .reg file cannot hold.
std::string RegistryRecordText();

/// Writes the record to RegistryRecord->FilePath (UTF-16LE, as reg export
/// writes); nothing without a record or file. Raises the file system's error;
/// error 1014 as RegistryRecordText.
void WriteRegistryRecord();

/// Adds a value the registry object would have set to the record, and writes
/// the whole record to its file again when it has one. Raises as
/// WriteRegistryRecord.
void RecordRegistryValue(platform::registry::ExportedValue value);

}  // namespace qm
