// Sign type resolution: which templates are rendered under which names, for
// the user and for each mailbox, and the plan of the production step.
#pragma once

#include <string>
#include <vector>

#include "records/Run.h"
#include "records/SignTypeLists.h"
#include "records/UserData.h"

namespace qm {

/// Reads the fixed and target sign types (run steps 13, 14) and prompts;
/// false when the user stopped the run at the prompt.
bool ReadFixedSignTypes(Run& run);

/// The no-mobile rule, the four lists and their checks (steps 19 to 22).
void ResolveSignTypes(Run& run);

/// The four lists formed from sign type texts and the target settings as
/// read (each target list defaulting to its sign types). Raises error 999 as
/// ResolveSignTypes for an empty sign type text and for too few targets; logs
/// nothing.
SignTypeListSet FormSignTypeLists(const std::string& signType, const std::string& signTypeReply,
                                  const SignTypeTexts& settings);

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

/// The signatures of one set of lists, in the order the production step works
/// through them: every new-message signature, then the reply signatures when
/// replies is true (the sign types for replies are not empty). Each target
/// gets nameSuffix (a mailbox's " (address)"), in the heading too.
std::vector<PlannedSignature> PlannedSignatures(const SignTypeListSet& lists, bool replies,
                                                const std::string& nameSuffix = "");

/// The user's signatures: the four lists of the run and the user's reply sign types.
std::vector<PlannedSignature> PlannedSignatures(const Run& run);

}  // namespace qm
