// The operating system's half of the executable's folder and name (process.h):
// its full path, implemented by posix/process.cpp and win32/process.cpp.
#pragma once

#include <string>

namespace qm::platform::native {

/// The running executable's full path in core notation; "" when the system does not tell it.
std::string ExecutablePath();

}  // namespace qm::platform::native
