// Owners for the POSIX handles (a file descriptor and a folder stream), and
// the one loop that writes a whole buffer to a descriptor.
#pragma once

#include <dirent.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>

#include "platform/common/unique_handle.h"

namespace qm::platform::posix {

struct FdTraits {
  using Handle = int;
  static int Invalid() { return -1; }
  // Linux releases the descriptor even when close() fails (EINTR included), so
  // a failed close is reported and never retried.
  static bool Close(int fd) { return ::close(fd) == 0; }
};

/// A file descriptor that is closed when it goes out of scope.
using UniqueFd = UniqueHandle<FdTraits>;

/// A folder stream from opendir() that is closed when it goes out of scope.
using UniqueDir = Owned<DIR, ::closedir>;

/// Writes all bytes, again after an interruption; false when the descriptor
/// refuses them (a full disk, a closed pipe).
inline bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace qm::platform::posix
