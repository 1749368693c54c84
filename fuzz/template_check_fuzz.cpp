// The template check (/CHECK): any template, in any of the three formats and
// with any placeholder symbol, is read to its end without a fault of the
// program, and every finding says what is wrong; the search for UTF-8 in a
// configuration file reads any bytes.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/paths.h"
#include "records/Findings.h"
#include "records/Run.h"
#include "signatures/TemplateCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The first byte chooses the symbol's length, escaping and the format; the
  // symbol follows, then the template.
  const std::string in(reinterpret_cast<const char*>(data), size);
  qm::Run run;
  const size_t at = 1 + (size > 0 ? data[0] % 4 : 0);
  if (at > size) return 0;
  run.RunState.EscapeValues = (data[0] & 4) != 0;
  const char* ext = (data[0] >> 4) % 3 == 0 ? ".htm" : (data[0] >> 4) % 3 == 1 ? ".rtf" : ".txt";
  run.RunState.PlaceholderSymbol = in.substr(1, at - 1);
  const std::string dir = "/tmp/qm-fuzz-check-" + std::to_string(getpid()) + "/";
  static const bool made = std::system(("mkdir -p " + dir).c_str()) == 0;
  (void)made;
  run.RunState.TemplateFolderPath = qm::platform::FromNativePath(dir);
  std::ofstream(dir + "t" + ext, std::ios::binary) << in.substr(at);
  qm::FindingList findings;
  qm::CheckTemplates(run, {{"1. Standardsignatur|t > t", "t", "t", false}}, findings);
  for (const qm::Finding& f : findings) {
    if (f.Where.empty() || f.What.empty()) __builtin_trap();
  }
  qm::Utf8WithoutMarkLine(qm::platform::FromNativePath(dir + "t" + ext), size);
  return 0;
}
