// The group search of the signature rules: the member filter of each level,
// cut into searches of at most 50 DNs, and the groups found, each once.
#include "userdata/GroupSearch.h"

#include <algorithm>
#include <set>

#include "support/DistinguishedNames.h"
#include "userdata/UserTexts.h"

namespace qm {

namespace {

namespace directory = platform::directory;

// A search for groups names this many of the last level's groups at once; a
// filter of a thousand DNs would outgrow what servers take in one request.
constexpr size_t kGroupsPerFilter = 50;
// Groups of groups are followed this deep; a deeper nesting is cut off there.
constexpr int kGroupLevels = 16;

constexpr const char* kGroupName = "cn";

// The entries whose member attribute holds one of dns; one DN alone without "(|".
std::string MemberFilter(std::vector<std::string>::const_iterator first,
                         std::vector<std::string>::const_iterator last) {
  std::string filter;
  for (auto it = first; it != last; ++it) filter += "(member=" + LdapFilterValue(*it) + ")";
  return last - first > 1 ? "(|" + filter + ")" : filter;
}

}  // namespace

std::vector<DirectoryGroup> SearchGroups(const std::string& dn, const directory::Search& where,
                                         const DirectorySearch& search) {
  directory::Search request;
  request.server = where.server;
  request.port = where.port;
  request.pageSize = where.pageSize;
  request.base = DomainPart(dn);
  request.scope = directory::Scope::Subtree;
  request.attributes = {kGroupName};

  std::vector<DirectoryGroup> groups;
  std::set<std::string> seen = {DnKey(dn)};
  std::vector<std::string> level = {dn};
  for (int depth = 0; depth < kGroupLevels && !level.empty(); ++depth) {
    std::vector<std::string> next;
    for (size_t first = 0; first < level.size(); first += kGroupsPerFilter) {
      const size_t last = std::min(level.size(), first + kGroupsPerFilter);
      request.filter = MemberFilter(level.begin() + static_cast<std::ptrdiff_t>(first),
                                    level.begin() + static_cast<std::ptrdiff_t>(last));
      for (const directory::Entry& entry : search(request)) {
        if (!seen.insert(DnKey(entry.dn)).second) continue;
        const std::vector<std::string>* cn = entry.Find(kGroupName);
        groups.push_back({entry.dn, cn != nullptr && !cn->empty() ? cn->front() : std::string()});
        next.push_back(entry.dn);
      }
    }
    level = std::move(next);
  }
  return groups;
}

}  // namespace qm
