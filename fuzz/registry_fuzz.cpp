// The registry file reader and writer on arbitrary files: a file is read or
// refused; one refused is never overwritten; into one read, a value is written
// that a reader that did not write it reads back, with the rest as it was.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "platform/error.h"
#include "platform/registry.h"

namespace {

namespace reg = qm::platform::registry;

bool Same(const std::optional<reg::RawValue>& a, const std::optional<reg::RawValue>& b) {
  return a.has_value() == b.has_value() && (!a || (a->type == b->type && a->data == b->data));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = "/tmp/qm-fuzz-registry-" + std::to_string(getpid()) + ".reg";
  const std::string copy = path + ".copy";
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  setenv("QUILLMARK_REGISTRY", path.c_str(), 1);
  std::optional<reg::RawValue> version;
  try {
    version = reg::QueryValue(reg::kClassesRoot, "Outlook.Application\\CurVer", "");
    (void)reg::EnumerateSubkeys(reg::kCurrentUser, "Software");
  } catch (const qm::Error&) {
    const uint8_t one = 1;
    try {
      reg::SetValue(reg::kCurrentUser, "Software\\Quillmark", "x", reg::kTypeBinary, {&one, 1});
    } catch (const qm::Error&) {
    }
    std::ifstream in(path, std::ios::binary);
    std::string after((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (after != std::string(reinterpret_cast<const char*>(data), size)) __builtin_trap();
    return 0;
  }
  const uint8_t written[] = {1, 2};
  if (!reg::SetValue(reg::kCurrentUser, "Software\\Quillmark\\Neu", "x", reg::kTypeBinary, written))
    __builtin_trap();
  {
    // Copied through streams: copy_file's sendfile gives up on libFuzzer's timer signal (EINTR).
    std::ifstream in(path, std::ios::binary);
    std::ofstream(copy, std::ios::binary | std::ios::trunc) << in.rdbuf();
  }
  setenv("QUILLMARK_REGISTRY", copy.c_str(), 1);
  try {
    const std::optional<reg::RawValue> back =
        reg::QueryValue(reg::kCurrentUser, "Software\\Quillmark\\Neu", "x");
    if (!Same(back, reg::RawValue{reg::kTypeBinary, {1, 2}})) __builtin_trap();
    if (!Same(reg::QueryValue(reg::kClassesRoot, "Outlook.Application\\CurVer", ""), version))
      __builtin_trap();
  } catch (const qm::Error&) {
    __builtin_trap();
  }
  return 0;
}
