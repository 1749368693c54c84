// The registry record of a simulation: what the run would have set in the
// registry, in the order of the writes. Data only; preview/RegistryFile keeps
// the .reg file of the preview folder in step with it.
#pragma once

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace qm {

/// A simulation's registry (/SIMULATE): every value the registry object would
/// have set (handed over through RegistryRedirect), with its type and bytes,
/// in the order of the writes, and how far its .reg file has been written.
struct RegistryRecording {
  std::string FilePath;  ///< the .reg file; "" until the preview folder is ready
  /// The file is written once, whole, when the run ends (an audit's user, whose
  /// run nobody watches as it goes), instead of in step with the values.
  bool WrittenAtEnd = false;
  std::vector<platform::registry::ExportedValue> Values;
  /// The keys written to the file so far (in the registry's upper case), the
  /// last of them, and the names of the values written into its block.
  std::set<std::string> WrittenKeys;
  std::string LastKey;
  std::set<std::string> LastKeyValueNames;
};

}  // namespace qm
