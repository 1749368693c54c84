// clsRegistry: one registry location (root, key path, value name) and a value
// type. Every operation opens the key, works and closes it again.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/registry.h"

namespace qm {

/// A registry value as the program handles it: nothing, a text, a 32-bit
/// number or a byte array.
using RegistryValue = std::variant<std::monostate, std::string, std::int32_t, std::vector<std::uint8_t>>;

/// A simulation's registry (/SIMULATE). While it is set, clsRegistry writes
/// nothing into the registry: every value it would set, with its type and
/// bytes, is kept here in the order of the writes, and once FilePath names a
/// file the whole record is written there again after each write, so the file
/// always holds what a real run would have set so far. Reads stay real.
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

class clsRegistry {
 public:
  std::uint32_t ClassKey = 0;
  std::string SectionKey;
  std::string ValueKey;
  std::int32_t ValueType = 0;
  RegistryValue Default;

  /// Reads the value; Default when key or value is missing. A successful read
  /// sets ValueType to the type found. Raises error 5 for string data of length 0.
  RegistryValue Value();

  /// Writes v by ValueType, creating the key path; failures are not reported.
  /// Raises error 26001 when a binary write gets no byte array.
  void SetValue(const RegistryValue& v);

  /// The subkeys of the key, one-based (names[0] unused), in the registry's order.
  bool EnumerateSections(std::vector<std::string>& names, std::int32_t& count);
};

}  // namespace qm
