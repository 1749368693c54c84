// The run-wide values and the program's version text.
#include "records/RunState.h"

namespace qm {

std::string VersionText() {
  std::string revision = std::to_string(kVersionRevision);
  if (revision.size() < 2) revision.insert(0, 2 - revision.size(), '0');
  return std::to_string(kVersionMajor) + "." + std::to_string(kVersionMinor) + " Build " + revision;
}

}  // namespace qm
