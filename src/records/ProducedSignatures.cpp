// The signatures the run produced.
#include "records/ProducedSignatures.h"

namespace qm {

std::vector<ProducedSignature> ProducedSignatures;

}  // namespace qm
