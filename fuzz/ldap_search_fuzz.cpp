// The search bases users write, the client configuration's URLs under
// encryption, and the paged-results response parser.
#include <cstdint>
#include <string>

#include "platform/common/ldap_search.h"
#include "platform/error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  namespace dir = qm::platform::directory;
  std::string text(reinterpret_cast<const char*>(data), size);
  try {
    (void)dir::ServerKey(dir::ParseBase(text));
  } catch (const qm::Error&) {
  }
  try {
    (void)dir::ProtectedUrls(text, dir::Encryption::Ldaps);
  } catch (const qm::Error&) {
  }
  std::string cookie;
  (void)dir::DecodePageResponse(text, cookie);
  return 0;
}
