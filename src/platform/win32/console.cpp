// The console on Windows. The exe is a program of the window subsystem (no
// console window at logon), so it has standard handles only where its starter
// hands them over (cmd with "> file" or "| more", a pipe of PowerShell), or a
// console when it attaches to the one of the program that started it. cmd does
// not wait for a window program: text written to its console appears after the
// next prompt.
#include "platform/console.h"

#include <algorithm>
#include <string>

#include "platform/win32/win32.h"

namespace qm::platform {
namespace {

// WriteConsoleW is given at most this many characters at once: older consoles
// refuse a buffer above 64 KB.
constexpr std::size_t kConsoleChunk = 8192;

std::wstring WithCrLf(std::string_view utf8) {
  const std::wstring wide = win32::Widen(utf8);
  std::wstring out;
  out.reserve(wide.size() + wide.size() / 32);
  for (const wchar_t c : wide) {
    if (c == L'\n') out += L'\r';
    out += c;
  }
  return out;
}

// The code page a caller reads redirected output in: the output code page of
// its console (chcp 65001 makes it UTF-8), which this program, having no
// console of its own, asks by attaching to it for a moment; the OEM code page
// where the caller has no console. A program already attached to one (Wine
// attaches a program started from a terminal) asks its own.
UINT CallersCodePage() {
  static const UINT codePage = [] {
    UINT cp = GetConsoleOutputCP();
    if (cp != 0) return cp;
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) return static_cast<UINT>(CP_OEMCP);
    cp = GetConsoleOutputCP();
    FreeConsole();
    return cp != 0 ? cp : static_cast<UINT>(CP_OEMCP);
  }();
  return codePage;
}

// Text for a pipe or a file: in the caller's console code page, as console
// programs write it and as cmd.exe and PowerShell read redirected output.
// (Without flags and default character, as UTF-8 requires.)
std::string CallersBytes(const std::wstring& wide) {
  if (wide.empty()) return {};
  const UINT codePage = CallersCodePage();
  const int length = static_cast<int>(wide.size());
  const int size = WideCharToMultiByte(codePage, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return {};
  std::string bytes(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(codePage, 0, wide.data(), length, bytes.data(), size, nullptr, nullptr);
  return bytes;
}

bool WriteToConsole(HANDLE console, const std::wstring& text) {
  for (std::size_t at = 0; at < text.size();) {
    const DWORD count = static_cast<DWORD>(std::min(kConsoleChunk, text.size() - at));
    DWORD written = 0;
    if (!WriteConsoleW(console, text.data() + at, count, &written, nullptr) || written == 0) return false;
    at += written;
  }
  return true;
}

bool WriteToFile(HANDLE file, std::string_view bytes) {
  while (!bytes.empty()) {
    DWORD written = 0;
    const DWORD count = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), MAXDWORD));
    if (!WriteFile(file, bytes.data(), count, &written, nullptr) || written == 0) return false;
    bytes.remove_prefix(written);
  }
  return true;
}

}  // namespace

bool Write(Stream stream, std::string_view utf8) {
  const std::wstring text = WithCrLf(utf8);
  // GetStdHandle may give NULL (no handle) or INVALID_HANDLE_VALUE (an error);
  // a console handle of the parent's that this program is not attached to
  // fails to write and counts as none.
  const HANDLE given = GetStdHandle(stream == Stream::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
  if (given != nullptr && given != INVALID_HANDLE_VALUE) {
    DWORD mode = 0;
    if (GetConsoleMode(given, &mode) ? WriteToConsole(given, text) : WriteToFile(given, CallersBytes(text))) return true;
  }
  if (!AttachConsole(ATTACH_PARENT_PROCESS)) return false;
  // CONOUT$ is the attached console's screen buffer, whatever the standard
  // handles say; CreateFile needs read and write access and write sharing for it.
  bool written = false;
  {
    const win32::FileHandle console(CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                                nullptr));
    written = console.valid() && WriteToConsole(console.get(), text);
  }
  FreeConsole();
  return written;
}

void WriteErrorLine(std::string_view) {}

}  // namespace qm::platform
