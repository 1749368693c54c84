// The real registry through the single-byte functions.
#include "platform/registry.h"

#include <vector>

#include "platform/codepage.h"
#include "platform/win32/win32.h"

namespace qm::platform::registry {
namespace {
HKEY RootKey(std::uint32_t root) { return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(root)); }
}  // namespace

std::optional<RawValue> QueryValue(std::uint32_t root, const std::string& path, const std::string& name) {
  win32::Key key;
  const std::string p = ToAnsi(path), n = ToAnsi(name);
  if (RegOpenKeyExA(RootKey(root), p.c_str(), 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) return std::nullopt;
  DWORD type = 0;
  DWORD size = 0;
  BYTE probe[4] = {};
  LONG rc = RegQueryValueExA(key.get(), n.c_str(), nullptr, &type, probe, &size);
  if (rc != ERROR_SUCCESS && rc != ERROR_MORE_DATA) return std::nullopt;
  std::vector<std::uint8_t> data(size + 2, 0);
  DWORD got = static_cast<DWORD>(data.size());
  rc = RegQueryValueExA(key.get(), n.c_str(), nullptr, &type, data.data(), &got);
  if (rc != ERROR_SUCCESS) return std::nullopt;
  data.resize(got);
  return RawValue{static_cast<std::uint32_t>(type), std::move(data)};
}

bool SetValue(std::uint32_t root, const std::string& path, const std::string& name, std::uint32_t type,
              std::span<const std::uint8_t> data) {
  win32::Key key;
  const std::string p = ToAnsi(path), n = ToAnsi(name);
  SECURITY_ATTRIBUTES security{};
  security.nLength = sizeof security;
  DWORD disposition = 0;
  if (RegCreateKeyExA(RootKey(root), p.c_str(), 0, const_cast<char*>(""), REG_OPTION_NON_VOLATILE, 0x3F,
                      &security, key.put(), &disposition) != ERROR_SUCCESS) {
    return false;
  }
  return RegSetValueExA(key.get(), n.c_str(), 0, type, data.data(), static_cast<DWORD>(data.size())) ==
         ERROR_SUCCESS;
}

std::optional<std::vector<std::string>> EnumerateSubkeys(std::uint32_t root, const std::string& path) {
  win32::Key key;
  const std::string p = ToAnsi(path);
  if (RegOpenKeyExA(RootKey(root), p.c_str(), 0, KEY_ENUMERATE_SUB_KEYS, key.put()) != ERROR_SUCCESS)
    return std::nullopt;
  std::vector<std::string> names;
  for (DWORD i = 0;; ++i) {
    char buf[255] = {};
    if (RegEnumKeyA(key.get(), i, buf, sizeof buf) != ERROR_SUCCESS) break;
    names.push_back(FromAnsi(buf));
  }
  return names;
}

}  // namespace qm::platform::registry
