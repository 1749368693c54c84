// The database source: the fields mapped to "DB" from the first row of the
// configured query.
#pragma once

#include <string>

namespace qm {

/// The database step (run when UseDatabase), ending with the step prompt.
/// False when the user stopped the run at that prompt. Raises error 999 (no
/// data link file, connection not open, user not found) or the database's error.
bool ReadDatabaseUserData();

/// The connection value that the setup writes into every new configuration.
inline constexpr const char* kDefaultConnectionString =
    "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=benutzer.mdb;Persist Security Info=False";

/// Makes the placeholder connection value absolute (benutzer.mdb in the program
/// folder) and writes it back to "DatabaseConnection" of section "Main" (not in
/// a simulation). Any other value stays as it is and nothing is written.
void ExpandDefaultConnectionString(std::string& connection);

}  // namespace qm
