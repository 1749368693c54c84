// Sign type resolution: which templates are rendered under which names.
#pragma once

#include <string>
#include <vector>

namespace qm {

extern std::vector<std::string> SignTypes;
extern std::vector<std::string> SignTypesReply;
extern std::vector<std::string> TargetSignTypes;
extern std::vector<std::string> TargetSignTypesReply;

/// The target texts as they stand (for the "SIGNTYPES" dump).
const std::string& TargetSignTypeText();
const std::string& TargetSignTypeReplyText();

/// Reads the fixed and target sign types (run steps 13, 14) and prompts;
/// false when the user stopped the run at the prompt.
bool ReadFixedSignTypes();

/// The no-mobile rule, the four lists and their checks (steps 19 to 22).
void ResolveSignTypes();

}  // namespace qm
