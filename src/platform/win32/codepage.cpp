// The system's ANSI code page (CP_ACP).
#include "platform/codepage.h"

#include "platform/win32/win32.h"

namespace qm::platform {

std::string ToAnsi(std::string_view utf8) {
  if (utf8.empty()) return {};
  const std::wstring wide = win32::Widen(utf8);
  BOOL usedDefault = FALSE;
  int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, "?",
                              &usedDefault);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, "?",
                      &usedDefault);
  return out;
}

std::string FromAnsi(std::string_view ansi) {
  if (ansi.empty()) return {};
  int n = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), wide.data(), n);
  return win32::Narrow(wide);
}

}  // namespace qm::platform
