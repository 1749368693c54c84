// POSIX path mapping between the core's Windows notation and Linux paths.
#include "platform/paths.h"

namespace qm::platform {

std::string ToNativePath(const std::string& corePath) {
  std::string p = corePath;
  if (p.size() >= 2 && p[1] == ':' &&
      ((p[0] >= 'A' && p[0] <= 'Z') || (p[0] >= 'a' && p[0] <= 'z'))) {
    p.erase(0, 2);
  }
  for (char& c : p) {
    if (c == '\\') c = '/';
  }
  return p;
}

std::string FromNativePath(const std::string& nativePath) {
  std::string p = nativePath;
  for (char& c : p) {
    if (c == '/') c = '\\';
  }
  return p;
}

}  // namespace qm::platform
