// Windows paths are the core's notation already.
#include "platform/paths.h"

namespace qm::platform {

std::string ToNativePath(const std::string& corePath) { return corePath; }
std::string FromNativePath(const std::string& nativePath) { return nativePath; }

}  // namespace qm::platform
