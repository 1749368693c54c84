// The profile-file reader and writer on arbitrary file contents.
#include <cstdint>
#include <string>

#include "fuzz_common.h"
#include "platform/profile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string file = qmfuzz::ScratchFile("ini", data, size);
  for (const char* key : {"LogFile", "a", ""}) {
    std::string v = qm::platform::ReadProfileValue(file, "Main", key, 5120);
    if (v.size() > 4 * 5119) __builtin_trap();  // at most 5,119 ANSI characters
  }
  // A written value reads back.
  qm::platform::WriteProfileValue(file, "Quillmark-Fuzz", "Key", "x=y");
  if (qm::platform::ReadProfileValue(file, "Quillmark-Fuzz", "Key", 5120) != "x=y") __builtin_trap();
  return 0;
}
