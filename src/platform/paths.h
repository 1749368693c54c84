// Paths inside the program are in Windows notation (backslashes, optional drive).
// The POSIX layer maps them at every file-system call: a leading drive letter
// and colon are dropped and every "\" becomes "/". Paths coming from Linux
// (the executable's folder, environment values beginning with "/") reach the
// core with every "/" turned into "\". On Windows both mappings are identities.
#pragma once

#include <string>

namespace qm::platform {

/// A core path as the operating system's file functions want it.
std::string ToNativePath(const std::string& corePath);

/// A path from the operating system in the core's notation.
std::string FromNativePath(const std::string& nativePath);

}  // namespace qm::platform
