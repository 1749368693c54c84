// The sign type lists of the run.
#include "records/SignTypeLists.h"

namespace qm {

std::vector<std::string> SignTypes;
std::vector<std::string> SignTypesReply;
std::vector<std::string> TargetSignTypes;
std::vector<std::string> TargetSignTypesReply;

SignTypeTexts SignTypeSettings;

}  // namespace qm
