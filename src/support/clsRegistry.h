// clsRegistry: one registry location (root, key path, value name) and a value
// type. Every operation opens the key, works and closes it again.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/registry.h"

namespace qm {

/// A registry value as the program handles it: nothing, a text, a 32-bit
/// number or a byte array.
using RegistryValue = std::variant<std::monostate, std::string, std::int32_t, std::vector<std::uint8_t>>;

/// Where a registry object's writes go instead of the registry: while it is
/// set (a simulation, /SIMULATE), every value the object would set is handed
/// to it, with its type and bytes, and the registry stays as it is; reads stay
/// real. Unset, values are written into the registry.
using RegistryRedirection = std::function<void(platform::registry::ExportedValue)>;

/// True when a and b name the same registry key (a subkey such as an account's
/// "0000000a"): Windows compares key names without regard to case. Never fails.
bool SameKeyName(std::string_view a, std::string_view b);

class clsRegistry {
 public:
  std::uint32_t ClassKey = 0;
  std::string SectionKey;
  std::string ValueKey;
  std::int32_t ValueType = 0;
  RegistryValue Default;
  RegistryRedirection Redirect;

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
