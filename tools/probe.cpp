// quillmark-probe: single platform services on the command line, so that tests
// can ask the linux and the windows build the same questions.
//   ini-read FILE SECTION KEY      prints the value between [ and ]
//   ini-write FILE SECTION KEY VALUE
//   codepage TEXT                  prints the ANSI bytes of TEXT in hex
#include <cstdio>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "platform/process.h"
#include "support/modTools.h"

namespace {

int Usage() {
  std::fputs("usage: quillmark-probe ini-read FILE SECTION KEY | ini-write FILE SECTION KEY VALUE\n", stderr);
  return 64;
}

}  // namespace

int main(int argc, char** argv) {
  qm::platform::InitProcess(argc, argv);
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) return Usage();
  const std::string& cmd = args[0];
  if (cmd == "ini-read" && args.size() == 4) {
    std::string v = qm::ReadIniValue(args[1], args[2], args[3]);
    std::printf("[%s]\n", v.c_str());
    return 0;
  }
  if (cmd == "ini-write" && args.size() == 5) {
    qm::WriteIniValue(args[1], args[2], args[3], args[4]);
    return 0;
  }
  if (cmd == "codepage" && args.size() == 2) {
    for (unsigned char c : qm::platform::ToAnsi(args[1])) std::printf("%02X", c);
    std::printf("\n");
    return 0;
  }
  return Usage();
}
