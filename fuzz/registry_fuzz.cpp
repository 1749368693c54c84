// The registry file reader on arbitrary files: it reads or refuses, and a file
// it refuses is never overwritten.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/error.h"
#include "platform/registry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  namespace reg = qm::platform::registry;
  const std::string path = "/tmp/qm-fuzz-registry-" + std::to_string(getpid()) + ".reg";
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  setenv("QUILLMARK_REGISTRY", path.c_str(), 1);
  try {
    (void)reg::QueryValue(reg::kClassesRoot, "Outlook.Application\\CurVer", "");
    (void)reg::EnumerateSubkeys(reg::kCurrentUser, "Software");
  } catch (const qm::Error&) {
    const uint8_t one = 1;
    try {
      reg::SetValue(reg::kCurrentUser, "Software\\Quillmark", "x", 3, {&one, 1});
    } catch (const qm::Error&) {
    }
    std::ifstream in(path, std::ios::binary);
    std::string after((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (after != std::string(reinterpret_cast<const char*>(data), size)) __builtin_trap();
  }
  return 0;
}
