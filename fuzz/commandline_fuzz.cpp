// The command-line grammar: any argument text is parsed without failing.
#include <cstdint>
#include <string>

#include "run/CommandLine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  qm::CommandLineOptions o = qm::ParseCommandLine(text);
  // The parameter can only be made of the text's own characters plus ":".
  if (o.ConfigParameter.size() > text.size()) __builtin_trap();
  return 0;
}
