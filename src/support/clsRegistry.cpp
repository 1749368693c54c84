// clsRegistry over the registry service of the platform.
#include "support/clsRegistry.h"

#include "platform/codepage.h"
#include "platform/common/text.h"
#include "platform/error.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "support/modTools.h"

namespace qm {

namespace reg = platform::registry;

bool SameKeyName(std::string_view a, std::string_view b) { return platform::text::EqualsNoCase(a, b); }

namespace {
// The number a binary write raises when it is not given a byte array.
constexpr long kNotByteArray = 26001;

// Where every write of the registry object goes: the registry, or in a
// simulation its record.
void Store(const RegistryRedirection& redirect, std::uint32_t root, const std::string& path,
           const std::string& name, std::uint32_t type, std::span<const std::uint8_t> data) {
  if (!redirect) {
    reg::SetValue(root, path, name, type, data);
    return;
  }
  redirect(reg::ExportedValue{root, path, name, type,
                                      std::vector<std::uint8_t>(data.begin(), data.end())});
}
}  // namespace

RegistryValue clsRegistry::Value() {
  auto raw = reg::QueryValue(ClassKey, SectionKey, ValueKey);
  if (!raw) return Default;
  ValueType = static_cast<std::int32_t>(raw->type);
  const std::vector<std::uint8_t>& d = raw->data;
  switch (raw->type) {
    case reg::kTypeString:
    case reg::kTypeExpandString:
    case reg::kTypeMultiString: {
      // The text is the data less its last byte (the terminator, normally).
      if (d.empty()) RaiseRuntimeError(err::kInvalidCall);
      std::string text = platform::FromAnsi(std::string(d.begin(), d.end() - 1));
      if (raw->type == reg::kTypeExpandString) text = platform::ExpandEnvironmentReferences(text);
      return text;
    }
    case reg::kTypeDword:
    case reg::kTypeDwordBigEndian: {
      std::uint8_t b[4] = {0, 0, 0, 0};
      for (size_t i = 0; i < 4 && i < d.size(); ++i) b[i] = d[i];
      std::uint32_t v = raw->type == reg::kTypeDword
                            ? (b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<std::uint32_t>(b[3]) << 24))
                            : (b[3] | (b[2] << 8) | (b[1] << 16) | (static_cast<std::uint32_t>(b[0]) << 24));
      return static_cast<std::int32_t>(v);
    }
    default: {
      std::vector<std::uint8_t> bytes = d;
      bytes.push_back(0);  // the array has one element more than the data
      return bytes;
    }
  }
}

void clsRegistry::SetValue(const RegistryValue& v) {
  const auto valueType = static_cast<std::uint32_t>(ValueType);
  if (valueType == reg::kTypeString || valueType == reg::kTypeExpandString) {
    std::string s;
    if (const auto* t = std::get_if<std::string>(&v)) s = *t;
    if (const auto* n = std::get_if<std::int32_t>(&v)) s = std::to_string(*n);
    std::uint32_t type = valueType;
    // A "%", at least one character and another "%" make it expandable.
    size_t first = s.find('%');
    size_t last = s.rfind('%');
    if (first != std::string::npos && last != std::string::npos && last >= first + 2) type = reg::kTypeExpandString;
    std::string ansi = platform::ToAnsi(s);
    std::vector<std::uint8_t> data(ansi.begin(), ansi.end());
    data.push_back(0);
    Store(Redirect, ClassKey, SectionKey, ValueKey, type, data);
  } else if (valueType == reg::kTypeBinary) {
    const auto* bytes = std::get_if<std::vector<std::uint8_t>>(&v);
    if (bytes == nullptr) throw Error(kNotByteArray, AppExeName(), "");
    // The last two elements of the array are not written.
    size_t n = bytes->size() >= 2 ? bytes->size() - 2 : 0;
    Store(Redirect, ClassKey, SectionKey, ValueKey, reg::kTypeBinary,
          std::span<const std::uint8_t>(bytes->data(), n));
  } else if (valueType == reg::kTypeDword || valueType == reg::kTypeDwordBigEndian) {
    const auto* n = std::get_if<std::int32_t>(&v);
    if (n == nullptr) return;
    auto u = static_cast<std::uint32_t>(*n);
    std::uint8_t data[4] = {static_cast<std::uint8_t>(u), static_cast<std::uint8_t>(u >> 8),
                            static_cast<std::uint8_t>(u >> 16), static_cast<std::uint8_t>(u >> 24)};
    // A big-endian setting is written as a plain 32-bit number, not swapped.
    Store(Redirect, ClassKey, SectionKey, ValueKey, reg::kTypeDword, data);
  }
}

bool clsRegistry::EnumerateSections(std::vector<std::string>& names, std::int32_t& count) {
  count = 0;
  names.assign(1, std::string());
  auto list = reg::EnumerateSubkeys(ClassKey, SectionKey);
  if (!list) return true;
  for (const std::string& n : *list) {
    names.push_back(n);
    ++count;
  }
  return true;
}

}  // namespace qm
