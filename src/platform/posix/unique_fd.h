// Owners for the POSIX handles: a file descriptor and a folder stream.
#pragma once

#include <dirent.h>
#include <unistd.h>

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

}  // namespace qm::platform::posix
