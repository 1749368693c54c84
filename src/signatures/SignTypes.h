// Sign type resolution: which templates are rendered under which names.
#pragma once

#include "records/SignTypeLists.h"

namespace qm {

/// Reads the fixed and target sign types (run steps 13, 14) and prompts;
/// false when the user stopped the run at the prompt.
bool ReadFixedSignTypes();

/// The no-mobile rule, the four lists and their checks (steps 19 to 22).
void ResolveSignTypes();

}  // namespace qm
