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

}  // namespace qm::platform::oledb
