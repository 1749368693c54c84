// OLE DB connection values turned into ODBC connection strings. The program
// was written against ADO and OLE DB providers; both builds reach the database
// through ODBC instead, so the connection value of the configuration (a data
// link file or an OLE DB connection string) is translated here, the same way
// on every operating system. Only the driver names differ (DriverNames).
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qm::platform::oledb {

/// The number ADO reports for a provider failure (E_FAIL, 0x80004005): used
/// for every error of the translation and of the ODBC layer.
inline constexpr long kProviderError = -2147467259;
/// ADO's "provider cannot be found" (adErrProviderNotFound).
inline constexpr long kProviderNotFound = 3706;

/// How paths and driver names are written for the driver manager.
enum class Style { Posix, Windows };

/// The ODBC driver names the translation uses, without braces.
struct DriverNames {
  std::string access;     ///< for Microsoft.ACE.OLEDB.*
  std::string jet;        ///< for Microsoft.Jet.OLEDB.4.0
  std::string sqlite;     ///< for a Jet/ACE Data Source ending in .db, .sqlite, .sqlite3
  std::string sqlServer;  ///< for SQLOLEDB, MSOLEDBSQL*, SQLNCLI*
};

/// The built-in names for a style and a program of that many bits. On Windows
/// the Jet provider's in-box driver, "Microsoft Access Driver (*.mdb)", exists
/// in 32 bits only; a 64-bit program has ACE's driver alone.
DriverNames DefaultDrivers(Style style, int programBits = sizeof(void*) * 8);

/// The SQL Server driver to use among the installed ones: the newest of
/// "ODBC Driver 18 for SQL Server" and "ODBC Driver 17 for SQL Server" (the
/// ones that encrypt and check certificates as the connection string asks),
/// else fallback.
std::string PreferredSqlServerDriver(const std::vector<std::string>& installed,
                                     const std::string& fallback);

/// The names for this build: the built-in ones of DriverStyle(), the SQL
/// Server driver the preferred installed one when sqlServer is asked for, each
/// replaced by the environment variable QUILLMARK_ODBC_ACCESS (Jet and ACE),
/// QUILLMARK_ODBC_SQLITE or QUILLMARK_ODBC_SQLSERVER when that is set and not
/// empty.
DriverNames ConfiguredDrivers(bool sqlServer = false);

/// The ODBC drivers the system's driver manager lists (SQLDrivers); empty when
/// it cannot be asked. (common/database.cpp)
std::vector<std::string> InstalledDrivers();

/// A sentence for the error of a driver that is not installed (IM002): which
/// drivers this program can see (Windows: the exe's bitness, and which exe to
/// use instead); "" where there is nothing to add. (Implemented per operating
/// system.)
std::string MissingDriverHint();

/// The same for a data source name (DSN=) that the driver manager does not
/// find, or whose driver it cannot load: on Windows each bitness has its own
/// ODBC administrator and data sources.
std::string MissingDataSourceHint();

/// Whose drivers this build talks to. POSIX: Posix. Windows: Windows, except
/// under Wine, whose ODBC hands every call to the host's unixODBC and its Linux
/// drivers: Posix there. (Implemented per operating system.)
Style DriverStyle();

/// A database file's core path as this build's drivers open it. POSIX:
/// ToNativePath. Windows: the path itself; under Wine the host's path of it.
/// (Implemented per operating system.)
std::string DriverFilePath(const std::string& corePath);

/// Maps a database file's core path to what the driver is given.
using PathMapper = std::string (*)(const std::string& corePath);

/// Key/value pairs of an OLE DB connection string, in order, keys and values
/// trimmed and unquoted ("..." and '...' with doubled quotes; {...} as in ODBC).
/// Throws qm::Error (kProviderError) when the string does not follow the syntax.
std::vector<std::pair<std::string, std::string>> ParseConnectionString(std::string_view text);

/// The OLE DB connection string held by a data link file: UTF-16LE with byte-order
/// mark (as Windows writes it) or UTF-8, the lines "[oledb]" and
/// "; Everything after this line is an OLE DB initstring", then the string.
/// Throws qm::Error (kProviderError, German text naming path) for anything else.
std::string ReadDataLink(std::string_view bytes, const std::string& path);

struct OdbcTarget {
  std::string connectionString;  ///< for SQLDriverConnect
  std::string databaseFile;      ///< core path of the database file the driver opens; "" if none
  std::string sqlServerDriver;   ///< the SQL Server driver of a SQL Server provider's string; "" otherwise
  std::string encrypt;           ///< the Encrypt value written for it ("no", "yes", "strict", or as asked)
};

/// The ODBC connection string for an OLE DB connection string; the file paths in
/// Data Source (Jet, ACE), DBQ and Database go through driverPath. Touches no file.
/// SQL Server's providers always get an Encrypt: the one asked for ("Encrypt"
/// or "Use Encryption for Data"; true/Mandatory "yes", false/Optional "no",
/// Strict "strict"), else the provider's own default (MSOLEDBSQL19 and later
/// "yes", the others "no").
/// Throws qm::Error: kProviderNotFound for an unknown provider, kProviderError
/// for bad syntax, an empty string, a missing Data Source, or Strict for a
/// driver before "ODBC Driver 18 for SQL Server".
OdbcTarget Translate(const std::string& oledb, const DriverNames& drivers, PathMapper driverPath);

/// What the connection is opened with: an ADO connection string ("File Name=" and a
/// data link file's core path, or an OLE DB string) turned into an ODBC string for
/// this build. Reads the data link file; checks that a database file exists, since
/// some drivers (SQLite) would create a missing one. Throws qm::Error.
OdbcTarget ToOdbc(const std::string& adoConnectionString);

/// ToOdbc's connection string.
std::string ToOdbcConnectionString(const std::string& adoConnectionString);

/// The core path of the database file an ADO connection string names, as
/// written there (a relative one is resolved by the driver against the
/// current folder); "" when it names none (a server). Reads the data link
/// file; throws qm::Error as ToOdbcConnectionString, but not for a missing file.
std::string DatabaseFile(const std::string& adoConnectionString);

}  // namespace qm::platform::oledb
