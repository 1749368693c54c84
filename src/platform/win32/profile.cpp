// Profile files through GetPrivateProfileStringA / WritePrivateProfileStringA.
#include "platform/profile.h"

#include <vector>

#include "platform/codepage.h"
#include "platform/win32/win32.h"

namespace qm::platform {

std::string ReadProfileValue(const std::string& file, const std::string& section,
                              const std::string& key, std::size_t bufferSize) {
  if (bufferSize == 0) return {};
  std::vector<char> buffer(bufferSize, '\0');
  const std::string f = ToAnsi(file), s = ToAnsi(section), k = ToAnsi(key);
  DWORD n = GetPrivateProfileStringA(s.c_str(), k.c_str(), "", buffer.data(),
                                     static_cast<DWORD>(bufferSize), f.c_str());
  if (n == 0) return {};
  return FromAnsi(std::string_view(buffer.data(), n));
}

bool WriteProfileValue(const std::string& file, const std::string& section,
                        const std::string& key, const std::string& value) {
  const std::string f = ToAnsi(file), s = ToAnsi(section), k = ToAnsi(key), v = ToAnsi(value);
  return WritePrivateProfileStringA(s.c_str(), k.c_str(), v.c_str(), f.c_str()) != FALSE;
}

}  // namespace qm::platform
