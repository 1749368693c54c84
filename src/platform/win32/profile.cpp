// Profile files through GetPrivateProfileStringA / WritePrivateProfileStringA.
#include "platform/profile.h"

#include <string_view>
#include <vector>

#include "platform/codepage.h"
#include "platform/win32/win32.h"

namespace qm::platform {
namespace {

// The most bytes a character of an ANSI code page takes (UTF-8).
constexpr std::size_t kLongestCharacter = 4;

}  // namespace

std::string ReadProfileValue(const std::string& file, const std::string& section,
                              const std::string& key, std::size_t bufferSize) {
  if (bufferSize == 0) return {};
  // Asked with room for one more character, so that a value longer than the
  // buffer is cut after a whole character: never between a lead byte and its
  // second byte, nor inside a UTF-8 sequence.
  std::vector<char> buffer(bufferSize + kLongestCharacter, '\0');
  const std::string f = ToAnsi(file), s = ToAnsi(section), k = ToAnsi(key);
  DWORD n = GetPrivateProfileStringA(s.c_str(), k.c_str(), "", buffer.data(),
                                     static_cast<DWORD>(buffer.size()), f.c_str());
  if (n == 0) return {};
  const std::string_view value(buffer.data(), n);
  return FromAnsi(value.substr(0, WholeCharacters(value, bufferSize - 1)));
}

namespace {

// A list of names as the profile functions hand it out: each ended by NUL,
// the list by one more. A buffer that was too small comes back full up to two
// places before its end; the list is then asked for again in a larger one.
constexpr DWORD kFirstListBuffer = 4096;
constexpr DWORD kMostListBuffer = DWORD{16} << 20;

template <typename Query>
std::vector<std::string> NameList(const Query& query) {
  for (DWORD size = kFirstListBuffer; size <= kMostListBuffer; size *= 2) {
    std::vector<char> buffer(size, '\0');
    const DWORD n = query(buffer.data(), size);
    if (n + 2 >= size) continue;
    std::vector<std::string> names;
    for (const char* p = buffer.data(); *p != '\0' && p < buffer.data() + n;) {
      const std::string_view name(p);
      names.push_back(FromAnsi(name));
      p += name.size() + 1;
    }
    return names;
  }
  return {};
}

}  // namespace

std::vector<std::string> ReadProfileSectionNames(const std::string& file) {
  const std::string f = ToAnsi(file);
  return NameList([&f](char* buffer, DWORD size) {
    return GetPrivateProfileSectionNamesA(buffer, size, f.c_str());
  });
}

std::vector<std::string> ReadProfileKeyNames(const std::string& file, const std::string& section) {
  const std::string f = ToAnsi(file), s = ToAnsi(section);
  return NameList([&f, &s](char* buffer, DWORD size) {
    return GetPrivateProfileStringA(s.c_str(), nullptr, "", buffer, size, f.c_str());
  });
}

bool WriteProfileValue(const std::string& file, const std::string& section,
                        const std::string& key, const std::string& value) {
  const std::string f = ToAnsi(file), s = ToAnsi(section), k = ToAnsi(key), v = ToAnsi(value);
  return WritePrivateProfileStringA(s.c_str(), k.c_str(), v.c_str(), f.c_str()) != FALSE;
}

}  // namespace qm::platform
