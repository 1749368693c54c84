// What common/file_io.h needs from POSIX: the owner of an open file.
#pragma once

#include "platform/posix/unique_fd.h"

namespace qm::platform::native {

using File = posix::UniqueFd;

}  // namespace qm::platform::native
