// Data link files and OLE DB connection strings into ODBC connection strings.
#include <cstdint>
#include <string>

#include "platform/common/oledb.h"
#include "platform/error.h"

namespace {
std::string Same(const std::string& p) { return p; }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  namespace o = qm::platform::oledb;
  std::string text(reinterpret_cast<const char*>(data), size);
  try {
    (void)o::ParseConnectionString(text);
  } catch (const qm::Error&) {
  }
  try {
    (void)o::Translate(text, o::DefaultDrivers(o::Style::Posix), Same);
  } catch (const qm::Error&) {
  }
  try {
    (void)o::ReadDataLink(text, "fuzz.udl");
  } catch (const qm::Error&) {
  }
  return 0;
}
