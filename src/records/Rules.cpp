// The signature rules of the run and their outcome.
#include "records/Rules.h"

namespace qm {

std::vector<Rule> Rules;
RuleOutcomeRecord RuleOutcome;

}  // namespace qm
