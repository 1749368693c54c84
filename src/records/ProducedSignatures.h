// The signatures the run produced, in run order: data only, filled by the
// production step and read by the registration and the preview page.
#pragma once

#include <string>
#include <vector>

namespace qm {

/// One produced signature: the heading of its log line
/// ("1. Standardsignatur|standard > standard"), its target name and the images
/// copied for it, named as in the signature folder.
struct ProducedSignature {
  std::string Heading;
  std::string Target;
  std::vector<std::string> Images;
};

}  // namespace qm
