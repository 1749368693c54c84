// The data link's driver on the system's ODBC: Windows driver names and paths,
// or under Wine the host's. The connection itself is common/database.cpp, in
// UTF-16 through the W functions (win32/native_odbc.h).
#include "platform/win32/win32.h"

#include <memory>
#include <string>

#include "platform/common/oledb.h"

namespace qm::platform::oledb {

namespace {

// Wine's kernel32 exports this; Windows does not. It returns the host's path,
// allocated on the process heap.
using WineUnixFileName = char*(__cdecl*)(const wchar_t*);

WineUnixFileName WinePathFunction() {
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  if (kernel == nullptr) return nullptr;
  return reinterpret_cast<WineUnixFileName>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "wine_get_unix_file_name")));
}

struct HeapDeleter {
  void operator()(char* p) const { HeapFree(GetProcessHeap(), 0, p); }
};

}  // namespace

// Wine hands ODBC calls to the host's unixODBC, so the drivers are the host's
// Linux drivers: they know Linux driver names and open Linux paths.
Style DriverStyle() { return WinePathFunction() != nullptr ? Style::Posix : Style::Windows; }

std::string DriverFilePath(const std::string& corePath) {
  WineUnixFileName toUnix = WinePathFunction();
  if (toUnix == nullptr || corePath.empty()) return corePath;
  std::unique_ptr<char, HeapDeleter> unixPath(toUnix(win32::Widen(corePath).c_str()));
  return unixPath ? std::string(unixPath.get()) : corePath;
}

// A 32-bit program sees the 32-bit drivers only, a 64-bit one the 64-bit
// ones: Jet and "Microsoft Access Driver (*.mdb)" exist in 32 bits only, and
// ACE in the bitness of the installed Office.
std::string MissingDriverHint() {
  constexpr int kBits = sizeof(void*) * 8;
  constexpr int kJetBits = 32;
  std::string hint = " Dieses Programm ist ein " + std::to_string(kBits) +
                     "-Bit-Programm und findet nur " + std::to_string(kBits) + "-Bit-ODBC-Treiber.";
  if (kBits == kJetBits) {
    hint += " Für ein 64-Bit-Office und seinen ACE-Treiber ist quillmark64.exe da.";
  } else {
    hint += " Den Jet-Treiber und den 32-Bit-ACE-Treiber eines 32-Bit-Office findet quillmark.exe.";
  }
  return hint;
}

// A data source set up in the ODBC administrator of the other bitness
// (odbcad32.exe in System32 is the 64-bit one, in SysWOW64 the 32-bit one) is
// not there for this program, nor is a driver of the other bitness.
std::string MissingDataSourceHint() {
  constexpr int kBits = sizeof(void*) * 8;
  constexpr int kJetBits = 32;
  return " Dieses Programm ist ein " + std::to_string(kBits) + "-Bit-Programm und findet nur die Datenquellen und " +
         "Treiber der " + std::to_string(kBits) + "-Bit-ODBC-Verwaltung." +
         (kBits == kJetBits ? " Die der 64-Bit-ODBC-Verwaltung findet quillmark64.exe."
                            : " Die der 32-Bit-ODBC-Verwaltung findet quillmark.exe.");
}

}  // namespace qm::platform::oledb
