// The console on Windows. The exe is a program of the window subsystem (no
// console window at logon), so it has a console only when its starter hands
// it standard handles (cmd with "> file" or "| more", a pipe of PowerShell) or
// when it attaches to the console of the program that started it. cmd does not
// wait for a window program: text written to its console appears after the
// next prompt.
#include "platform/console.h"

#include <algorithm>
#include <string>

#include "platform/codepage.h"
#include "platform/win32/win32.h"

namespace qm::platform {
namespace {

// WriteConsoleW is given at most this many characters at once: older consoles
// refuse a buffer above 64 KB.
constexpr std::size_t kConsoleChunk = 8192;

std::string WithCrLf(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 32);
  for (const char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

bool WriteToConsole(HANDLE console, std::string_view utf8) {
  const std::wstring wide = win32::Widen(utf8);
  for (std::size_t at = 0; at < wide.size();) {
    const DWORD count = static_cast<DWORD>(std::min(kConsoleChunk, wide.size() - at));
    DWORD written = 0;
    if (!WriteConsoleW(console, wide.data() + at, count, &written, nullptr) || written == 0)
      return false;
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

bool WriteStandardOutput(std::string_view utf8) {
  const std::string text = WithCrLf(utf8);
  // GetStdHandle may give NULL (no handle) or INVALID_HANDLE_VALUE (an error).
  const HANDLE given = GetStdHandle(STD_OUTPUT_HANDLE);
  if (given != nullptr && given != INVALID_HANDLE_VALUE) {
    DWORD mode = 0;
    if (GetConsoleMode(given, &mode) ? WriteToConsole(given, text)
                                     : WriteToFile(given, ToAnsi(text)))
      return true;
  }
  if (!AttachConsole(ATTACH_PARENT_PROCESS)) return false;
  // CONOUT$ is the attached console's screen buffer, whatever the standard
  // handles say; CreateFile needs read and write access and write sharing for it.
  bool written = false;
  {
    const win32::FileHandle console(CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                OPEN_EXISTING, 0, nullptr));
    written = console.valid() && WriteToConsole(console.get(), text);
  }
  FreeConsole();
  return written;
}

void WriteErrorLine(std::string_view) {}

}  // namespace qm::platform
