// The database source: the fields mapped to "DB" from the first row of the
// configured query.
#pragma once

#include <string>

#include "records/Run.h"

namespace qm {

/// ADO's defaults: 15 seconds to log in, 30 seconds for a command.
inline constexpr int kDatabaseLoginSeconds = 15;
inline constexpr int kDatabaseQuerySeconds = 30;

/// The path of a data link file that "DatabaseConnection" names: a name
/// without a backslash below the program folder. Never fails.
std::string DataLinkPath(Run& run, const std::string& connectionValue);

/// "UserSelect" with every %USERNAME% and %NAME% replaced by the name (its '
/// doubled with "EscapeUserName"). Never fails.
std::string UserSelectText(Run& run, const std::string& userName);

/// The database step (run when UseDatabase), ending with the step prompt.
/// False when the user stopped the run at that prompt. Raises error 999 (no
/// data link file, connection not open, user not found) or the database's error.
bool ReadDatabaseUserData(Run& run);

/// The connection value that the setup writes into every new configuration.
inline constexpr const char* kDefaultConnectionString =
    "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=benutzer.mdb;Persist Security Info=False";

/// Makes the placeholder connection value absolute (benutzer.mdb in the program
/// folder) and writes it back to "DatabaseConnection" of section "Main" (not in
/// a simulation or a check). Any other value stays as it is and nothing is written.
void ExpandDefaultConnectionString(Run& run, std::string& connection);

}  // namespace qm
