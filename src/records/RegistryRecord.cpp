// The registry record of a simulation.
#include "records/RegistryRecord.h"

namespace qm {

std::optional<RegistryRecording> RegistryRecord;

}  // namespace qm
