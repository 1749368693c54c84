// The user's place in the directory for the run.
#include "records/Membership.h"

namespace qm {

MembershipRecord Membership;

}  // namespace qm
