// The real registry through the single-byte functions.
#include "platform/registry.h"

#include <vector>

#include "platform/codepage.h"
#include "platform/win32/win32.h"

namespace qm::platform::registry {
namespace {

// The program's root numbers are the published values of the predefined keys
// (HKEY_CLASSES_ROOT is 0x80000000, and so on).
HKEY RootKey(std::uint32_t root) { return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(root)); }

// What a key is created or opened with for a write: query, set, create subkey,
// enumerate, notify and create link (0x3F), as the program always asked for.
constexpr REGSAM kWriteAccess = KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY |
                                KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY | KEY_CREATE_LINK;

// RegEnumKeyA's buffer: a subkey name of 255 characters or more does not fit.
constexpr DWORD kEnumBufferSize = 255;

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
  if (RegCreateKeyExA(RootKey(root), p.c_str(), 0, const_cast<char*>(""), REG_OPTION_NON_VOLATILE, kWriteAccess,
                      &security, key.put(), &disposition) != ERROR_SUCCESS) {
    return false;
  }
  return RegSetValueExA(key.get(), n.c_str(), 0, type, data.data(), static_cast<DWORD>(data.size())) ==
         ERROR_SUCCESS;
}

bool SetTextValue(std::uint32_t root, const std::string& path, const std::string& name,
                  const std::string& text) {
  win32::Key key;
  const std::wstring p = win32::Widen(path), n = win32::Widen(name), data = win32::Widen(text);
  DWORD disposition = 0;
  if (RegCreateKeyExW(RootKey(root), p.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, kWriteAccess, nullptr,
                      key.put(), &disposition) != ERROR_SUCCESS) {
    return false;
  }
  // REG_SZ's size counts the terminating NUL, in bytes.
  const auto bytes = static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t));
  return RegSetValueExW(key.get(), n.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()), bytes) ==
         ERROR_SUCCESS;
}

std::optional<std::vector<std::string>> EnumerateSubkeys(std::uint32_t root, const std::string& path) {
  win32::Key key;
  const std::string p = ToAnsi(path);
  if (RegOpenKeyExA(RootKey(root), p.c_str(), 0, KEY_ENUMERATE_SUB_KEYS, key.put()) != ERROR_SUCCESS)
    return std::nullopt;
  std::vector<std::string> names;
  for (DWORD i = 0;; ++i) {
    char buf[kEnumBufferSize] = {};
    if (RegEnumKeyA(key.get(), i, buf, sizeof buf) != ERROR_SUCCESS) break;
    names.push_back(FromAnsi(buf));
  }
  return names;
}

// Windows' registry takes each write as it comes.
WriteBatch::WriteBatch() = default;
WriteBatch::~WriteBatch() = default;
bool WriteBatch::Commit() {
  committed_ = !joined_;
  return true;
}

}  // namespace qm::platform::registry
