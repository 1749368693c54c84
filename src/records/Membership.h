// Where the user stands in the directory, for the signature rules: the
// distinguished name of the user's entry and the groups it belongs to,
// directly or through other groups. Data only.
#pragma once

#include <string>
#include <vector>

namespace qm {

struct DirectoryGroup {
  std::string Dn;  ///< as the server writes it
  std::string Cn;  ///< its first cn; "" when it has none
};

struct MembershipRecord {
  std::string UserDn;                  ///< "" until the directory step finds the user
  std::vector<DirectoryGroup> Groups;  ///< level by level, in server order, each once
};

}  // namespace qm
