// The registry.reg of a preview: the registry record written as a .reg file
// (UTF-16LE, as reg export writes it) while the run goes on, so that after a
// failed run the file holds what a real run would have left.
#pragma once

#include <string>

#include "platform/registry.h"
#include "records/Run.h"

namespace qm {

/// The record as the text of a .reg file (UTF-8; see
/// platform::registry::RegFileText); only the header when nothing is
/// recorded. Raises error 1014 for a name a .reg file cannot hold.
std::string RegistryRecordText(Run& run);

/// Starts the record's file at path with what the record holds so far.
/// Raises the file system's error; error 1014 as RegistryRecordText.
void StartRegistryFile(Run& run, const std::string& path);

/// Adds a value the registry object would have set to the record and to its
/// file, once the file is started. A value for the key of the file's last
/// block, or for a new key, is appended; only a value that goes back to an
/// earlier key, or sets a name again, has the whole file written anew. So a
/// run's writes cost time in proportion to their number. Raises as
/// StartRegistryFile.
void RecordRegistryValue(Run& run, platform::registry::ExportedValue value);

/// Ends the file with the empty line that closes its last block (the common
/// end of a simulation, whatever the outcome of the run). Raises the file
/// system's error.
void FinishRegistryFile(Run& run);

}  // namespace qm
