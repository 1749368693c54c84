// The database source: the fields mapped to "DB" from the first row of the
// configured query (the step itself, ReadDatabaseUserData, is in UserData.h).
#pragma once

#include <string>

namespace qm {

/// The connection value that the setup writes into every new configuration.
inline constexpr const char* kDefaultConnectionString =
    "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=benutzer.mdb;Persist Security Info=False";

/// Makes the placeholder connection value absolute (benutzer.mdb in the program
/// folder) and writes it back to "DatabaseConnection" of section "Main". Any
/// other value stays as it is and nothing is written.
void ExpandDefaultConnectionString(std::string& connection);

}  // namespace qm
