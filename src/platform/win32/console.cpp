// Standard output and error of a GUI program. The exe is linked for the GUI
// subsystem (no console window at logon), so Windows gives it standard handles
// only where the starting program passed them: a pipe or a file when the
// output is redirected (PowerShell capturing it, "> file" in cmd.exe). Started
// from an interactive cmd.exe it has none; it then writes to the console of
// that cmd.exe, which does not wait for a GUI program, so the line may appear
// after the next prompt.
#include "platform/console.h"

#include <string>

#include "platform/win32/win32.h"

namespace qm::platform {
namespace {

// Text for a pipe or a file: in the OEM code page, as console programs write
// it and as cmd.exe and PowerShell read redirected output by default.
std::string OemBytes(const std::wstring& wide) {
  if (wide.empty()) return {};
  const int length = static_cast<int>(wide.size());
  const int size = WideCharToMultiByte(CP_OEMCP, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return {};
  std::string bytes(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_OEMCP, 0, wide.data(), length, bytes.data(), size, nullptr, nullptr);
  return bytes;
}

bool IsConsole(HANDLE h) {
  DWORD mode = 0;
  return GetConsoleMode(h, &mode) != FALSE;
}

// False when nothing could be written there.
bool WriteTo(HANDLE h, const std::wstring& line) {
  DWORD written = 0;
  if (IsConsole(h)) return WriteConsoleW(h, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) != FALSE;
  const std::string bytes = OemBytes(line);
  return WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) != FALSE;
}

}  // namespace

void WriteLine(Stream stream, std::string_view text) {
  const std::wstring line = win32::Widen(text) + L"\r\n";
  const HANDLE given = GetStdHandle(stream == Stream::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
  // A handle that is no longer usable (a console handle of the parent's that a
  // GUI program is not attached to) counts as none.
  if (given != nullptr && given != INVALID_HANDLE_VALUE && WriteTo(given, line)) return;
  if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
  {
    const win32::FileHandle console(CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                            OPEN_EXISTING, 0, nullptr));
    if (console.valid()) static_cast<void>(WriteTo(console.get(), line));
  }
  FreeConsole();
}

}  // namespace qm::platform
