// clsRegistry over the registry service of the platform.
#include "support/clsRegistry.h"

#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "support/modTools.h"

namespace qm {

RegistryValue clsRegistry::Value() {
  auto raw = platform::registry::QueryValue(ClassKey, SectionKey, ValueKey);
  if (!raw) return Default;
  ValueType = static_cast<std::int32_t>(raw->type);
  const std::vector<std::uint8_t>& d = raw->data;
  switch (raw->type) {
    case 1:
    case 2:
    case 7: {
      // The text is the data less its last byte (the terminator, normally).
      if (d.empty()) RaiseRuntimeError(err::kInvalidCall);
      std::string text = platform::FromAnsi(std::string(d.begin(), d.end() - 1));
      if (raw->type == 2) text = platform::ExpandEnvironmentReferences(text);
      return text;
    }
    case 4:
    case 5: {
      std::uint8_t b[4] = {0, 0, 0, 0};
      for (size_t i = 0; i < 4 && i < d.size(); ++i) b[i] = d[i];
      std::uint32_t v = raw->type == 4
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
  namespace reg = platform::registry;
  if (ValueType == 1 || ValueType == 2) {
    std::string s;
    if (const auto* t = std::get_if<std::string>(&v)) s = *t;
    if (const auto* n = std::get_if<std::int32_t>(&v)) s = std::to_string(*n);
    std::uint32_t type = static_cast<std::uint32_t>(ValueType);
    // A "%", at least one character and another "%" make it expandable.
    size_t first = s.find('%');
    size_t last = s.rfind('%');
    if (first != std::string::npos && last != std::string::npos && last >= first + 2) type = 2;
    std::string ansi = platform::ToAnsi(s);
    std::vector<std::uint8_t> data(ansi.begin(), ansi.end());
    data.push_back(0);
    reg::SetValue(ClassKey, SectionKey, ValueKey, type, data);
  } else if (ValueType == 3) {
    const auto* bytes = std::get_if<std::vector<std::uint8_t>>(&v);
    if (bytes == nullptr) throw Error(26001, AppExeName(), "");
    // The last two elements of the array are not written.
    size_t n = bytes->size() >= 2 ? bytes->size() - 2 : 0;
    reg::SetValue(ClassKey, SectionKey, ValueKey, 3, std::span<const std::uint8_t>(bytes->data(), n));
  } else if (ValueType == 4 || ValueType == 5) {
    const auto* n = std::get_if<std::int32_t>(&v);
    if (n == nullptr) return;
    auto u = static_cast<std::uint32_t>(*n);
    std::uint8_t data[4] = {static_cast<std::uint8_t>(u), static_cast<std::uint8_t>(u >> 8),
                            static_cast<std::uint8_t>(u >> 16), static_cast<std::uint8_t>(u >> 24)};
    reg::SetValue(ClassKey, SectionKey, ValueKey, 4, data);
  }
}

bool clsRegistry::EnumerateSections(std::vector<std::string>& names, std::int32_t& count) {
  count = 0;
  names.assign(1, std::string());
  auto list = platform::registry::EnumerateSubkeys(ClassKey, SectionKey);
  if (!list) return true;
  for (const std::string& n : *list) {
    names.push_back(n);
    ++count;
  }
  return true;
}

}  // namespace qm
