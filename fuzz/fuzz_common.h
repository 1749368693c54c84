// Shared helpers of the fuzz targets: errors of the program (qm::Error) are
// answers, anything else (a crash, a sanitizer report, a stray exception) is a find.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/paths.h"

namespace qmfuzz {

/// A scratch file of this process, in the program's path notation.
inline std::string ScratchFile(const char* name, const uint8_t* data, size_t size) {
  std::string path = "/tmp/qm-fuzz-" + std::to_string(getpid()) + "-" + name;
  if (FILE* f = std::fopen(path.c_str(), "wb")) {
    if (size > 0) std::fwrite(data, 1, size, f);
    std::fclose(f);
  }
  return qm::platform::FromNativePath(path);
}

}  // namespace qmfuzz
