// The database source: the fields mapped to "DB" from the first row of the
// configured query.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/database.h"
#include "records/Run.h"

namespace qm {

/// ADO's defaults: 15 seconds to log in, 30 seconds for a command.
inline constexpr int kDatabaseLoginSeconds = 15;
inline constexpr int kDatabaseQuerySeconds = 30;

/// The path of a data link file that "DatabaseConnection" names: a name
/// without a backslash below the program folder. Never fails.
std::string DataLinkPath(const Run& run, const std::string& connectionValue);

/// "UserSelect" with every %USERNAME% and %NAME% replaced by the name (its '
/// doubled with "EscapeUserName"). Never fails.
std::string UserSelectText(const Run& run, const std::string& userName);

/// The database step (run when UseDatabase), ending with the step prompt.
/// False when the user stopped the run at that prompt. Raises error 999 (no
/// data link file, connection not open, user not found) or the database's error.
bool ReadDatabaseUserData(Run& run);

/// The connection "DatabaseConnection" names, as a run opens it: "file name="
/// and the data link file, or the connection string. Never logs.
std::string DatabaseConnectionText(Run& run);

/// An audit's connection to the database (run.Shared set), opened at the first
/// call. Throws the database's error.
platform::database::Connection& AuditConnection(Run& run);

/// An audit's read of the user's row before the user's run (run.Shared set):
/// the row the run's query gives (nullopt: none), kept for the run to take.
/// Throws the database's error.
std::optional<platform::database::Row> AuditRow(Run& run, const std::string& userName);

/// A column of [FieldMapping] that the query's result lacks: the field
/// ("Photo" for the photo) and the column it names.
struct MissingColumn {
  std::string Field;
  std::string Column;
};

/// The column "Photo=" names when it maps the photo to the database, else empty.
std::string PhotoColumn(const Run& run);

/// The row's values into UserData for every field mapped to "DB", as a run
/// puts them there; returns the mapped columns the row lacks, in field order,
/// the photo column last. Takes no photo. Never raises.
std::vector<MissingColumn> FillFromRow(Run& run, const platform::database::Row& row,
                                       const std::string& photoColumn);

/// The text of a photo column the query's result lacks: names column and field.
std::string PhotoColumnMissingText(const std::string& column);

/// The connection value that the setup writes into every new configuration.
inline constexpr const char* kDefaultConnectionString =
    "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=benutzer.mdb;Persist Security Info=False";

/// Makes the placeholder connection value absolute (benutzer.mdb in the program
/// folder) and writes it back to "DatabaseConnection" of section "Main" (not in
/// a simulation or a check). Any other value stays as it is and nothing is written.
void ExpandDefaultConnectionString(Run& run, std::string& connection);

}  // namespace qm
