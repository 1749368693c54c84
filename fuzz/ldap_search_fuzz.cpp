// The directory provider's search text and the paged-results response parser.
#include <cstdint>
#include <string>

#include "platform/common/ldap_search.h"
#include "platform/error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  try {
    auto request = qm::platform::directory::ParseSearchText(text);
    (void)qm::platform::directory::ServerKey(request);
  } catch (const qm::Error&) {
  }
  std::string cookie;
  (void)qm::platform::directory::DecodePageResponse(text, cookie);
  return 0;
}
