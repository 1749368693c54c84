// /CHECK of the two user data sources: the database and the directory are
// asked what a run would ask them, read only, within the run's time limits,
// and every fault is a finding instead of the end of the run. What they give
// goes into the user data as a run puts it there, so that the check knows the
// user's sign types.
#pragma once

#include <string>

#include "records/Findings.h"
#include "records/Run.h"

namespace qm {

/// Opens the connection of "DatabaseConnection" (a relative database file
/// named with the folder it resolves against), runs "UserSelect" for the user
/// and names every column of [FieldMapping] that the result lacks; fills the
/// fields mapped to the database from the row found. Never raises.
void CheckDatabase(Run& run, const std::string& userName, FindingList& findings);

/// Searches the user in every base of "LDAPBaseObjectDN" (a base whose server
/// did not answer is not asked again), names the base the user is found in
/// and every attribute of [FieldMapping] the entry lacks; fills the fields
/// mapped to the directory, the user's DN and, with readGroups, the groups,
/// as the run does. fieldsMapped: a field is mapped to the directory (else
/// only rules read it, and a user found nowhere is no fault). Never raises.
void CheckDirectory(Run& run, const std::string& userName, bool fieldsMapped, bool readGroups,
                    FindingList& findings);

}  // namespace qm
