// The process on Windows: the command line tail, the module path, the environment.
#include "platform/process.h"

#include <vector>

#include "platform/codepage.h"
#include "platform/common/executable.h"
#include "platform/win32/win32.h"

namespace qm::platform {

namespace native {

// In its long form: started by its short name (QUILLM~1.EXE), the module path
// is the short one, and the configuration beside it would be looked for as
// QUILLM~1.ini.
std::string ExecutablePath() {
  std::wstring path(MAX_PATH + 1, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n < path.size() - 1) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);
  }
  const DWORD longLength = GetLongPathNameW(path.c_str(), nullptr, 0);
  if (longLength == 0) return win32::Narrow(path);
  std::wstring longPath(longLength, L'\0');
  const DWORD got = GetLongPathNameW(path.c_str(), longPath.data(), longLength);
  if (got == 0 || got >= longLength) return win32::Narrow(path);
  longPath.resize(got);
  return win32::Narrow(longPath);
}

}  // namespace native

void InitProcess(int, char**) {}

std::string ArgumentText() {
  // The command line with the executable's name (quoted or not) and the blanks
  // after it removed; the rest stays exactly as typed.
  // Read wide: GetCommandLineA would give a look-alike for a character the
  // ANSI code page lacks, and the run could not tell.
  std::string line = win32::Narrow(GetCommandLineW());
  size_t i = 0;
  if (!line.empty() && line[0] == '"') {
    size_t close = line.find('"', 1);
    i = close == std::string::npos ? line.size() : close + 1;
  }
  while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
  while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
  return line.substr(i);
}

// Read wide, so that a value the ANSI code page cannot hold (C:\Users\dvořák on
// a German PC) reaches the run as it is, which then refuses it rather than
// look for C:\Users\dvorak. The first call tells the size with the
// terminator; a value that grew in between is asked for again.
std::string EnvironmentValue(const std::string& name) {
  const std::wstring n = win32::Widen(name);
  std::wstring value(GetEnvironmentVariableW(n.c_str(), nullptr, 0), L'\0');
  while (!value.empty()) {
    const DWORD got = GetEnvironmentVariableW(n.c_str(), value.data(), static_cast<DWORD>(value.size()));
    if (got == 0) return {};
    if (got < value.size()) {
      value.resize(got);
      return win32::Narrow(value);
    }
    value.assign(got, L'\0');
  }
  return {};
}

std::string ExpandEnvironmentReferences(const std::string& text) {
  const std::string source = ToAnsi(text);
  DWORD needed = ExpandEnvironmentStringsA(source.c_str(), nullptr, 0);
  if (needed == 0) return text;
  std::vector<char> buf(needed + 1, '\0');
  DWORD got = ExpandEnvironmentStringsA(source.c_str(), buf.data(), static_cast<DWORD>(buf.size()));
  if (got == 0 || got > buf.size()) return text;
  return FromAnsi(buf.data());
}

}  // namespace qm::platform

namespace qm::platform {

std::string CurrentFolder() {
  // The first call tells the length with its terminator, the second the length without.
  const DWORD needed = GetCurrentDirectoryW(0, nullptr);
  if (needed == 0) return "";
  std::wstring folder(needed, L'\0');
  const DWORD got = GetCurrentDirectoryW(needed, folder.data());
  if (got == 0 || got >= needed) return "";
  folder.resize(got);
  std::string path = win32::Narrow(folder);
  // "C:\" keeps its backslash; a share or folder has none at its end.
  if (path.size() > 3 && path.back() == '\\') path.pop_back();
  return path;
}

}  // namespace qm::platform
