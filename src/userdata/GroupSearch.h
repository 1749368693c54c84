// The group search of the signature rules: the groups a directory entry
// belongs to, directly or through groups in groups, read level by level with
// one search per 50 groups of the level before.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/directory.h"
#include "records/Membership.h"

namespace qm {

/// Runs one search of the directory and returns every entry it finds, all its
/// pages; throws the directory's error.
using DirectorySearch =
    std::function<std::vector<platform::directory::Entry>(const platform::directory::Search&)>;

/// The groups of the entry dn: those whose member attribute holds dn, then
/// those that hold one of theirs, level by level, each group once (a loop of
/// groups ends), up to 16 levels. Each search goes to the server and port of
/// where, with its page size, below the domain part of dn (its DC= RDNs), and
/// asks for cn. Groups come level by level in server order; Cn is the first
/// cn ("" without one). Throws what search throws.
std::vector<DirectoryGroup> SearchGroups(const std::string& dn,
                                         const platform::directory::Search& where,
                                         const DirectorySearch& search);

}  // namespace qm
