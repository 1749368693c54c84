// What common/file_io.h needs from Windows: the owner of an open file.
#pragma once

#include "platform/win32/win32.h"

namespace qm::platform::native {

using File = win32::FileHandle;

}  // namespace qm::platform::native
