// Sign type resolution: which templates are rendered under which names.
#pragma once

#include <string>
#include <vector>

#include "records/SignTypeLists.h"
#include "records/UserData.h"

namespace qm {

/// Reads the fixed and target sign types (run steps 13, 14) and prompts;
/// false when the user stopped the run at the prompt.
bool ReadFixedSignTypes();

/// The no-mobile rule, the four lists and their checks (steps 19 to 22).
void ResolveSignTypes();

/// One signature of the production step, in run order: the heading of its log
/// line, its template and its target. Skipped: an empty entry of the reply
/// list, which is logged and otherwise left out (an empty entry of the
/// new-message list is not skipped: its templates are looked for, and missed).
struct PlannedSignature {
  std::string Heading;
  std::string SignType;
  std::string Target;
  bool Skipped = false;
};

/// The signatures the production step will work through, from the four lists
/// and the user's reply sign types: every new-message signature, then the
/// reply signatures when user has reply sign types. Known as soon as the
/// lists are, so that names can be checked before anything is written.
std::vector<PlannedSignature> PlannedSignatures(const UserDataRecord& user);

}  // namespace qm
