// The process entry: one run for the current user.
#include "platform/process.h"
#include "run/modMain.h"

int main(int argc, char** argv) {
  qm::platform::InitProcess(argc, argv);
  return qm::Main();
}
