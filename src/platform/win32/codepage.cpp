// The system's ANSI code page (CP_ACP), converted by Windows itself.
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

std::optional<CodePageTable> ReadCodePageTable(unsigned codePage) {
  CPINFO info{};
  if (!IsValidCodePage(codePage) || !GetCPInfo(codePage, &info) || info.MaxCharSize != 1)
    return std::nullopt;
  CodePageTable table;
  for (size_t b = 0; b < table.toUnicode.size(); ++b) {
    const char byte = static_cast<char>(b);
    wchar_t unit = L'\0';
    MultiByteToWideChar(codePage, 0, &byte, 1, &unit, 1);
    table.toUnicode[b] = static_cast<char16_t>(unit);
  }
  // One unit at a time, the way the conversion treats every unit of a text.
  for (size_t u = 0; u < table.fromUnicode.size(); ++u) {
    const auto unit = static_cast<wchar_t>(u);
    char byte = '\0';
    WideCharToMultiByte(codePage, 0, &unit, 1, &byte, 1, nullptr, nullptr);
    table.fromUnicode[u] = static_cast<std::uint8_t>(byte);
  }
  return table;
}

}  // namespace qm::platform
