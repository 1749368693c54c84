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
  std::string access;     ///< for Microsoft.Jet.OLEDB.4.0 and Microsoft.ACE.OLEDB.*
  std::string sqlite;     ///< for a Jet/ACE Data Source ending in .db, .sqlite, .sqlite3
  std::string sqlServer;  ///< for SQLOLEDB, MSOLEDBSQL*, SQLNCLI*
};

/// The built-in names for a style.
DriverNames DefaultDrivers(Style style);

/// The names for this build: the built-in ones of DriverStyle(), each replaced by
/// the environment variable QUILLMARK_ODBC_ACCESS, QUILLMARK_ODBC_SQLITE or
/// QUILLMARK_ODBC_SQLSERVER when that is set and not empty.
DriverNames ConfiguredDrivers();

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
};

/// The ODBC connection string for an OLE DB connection string; the file paths in
/// Data Source (Jet, ACE), DBQ and Database go through driverPath. Touches no file.
/// Throws qm::Error: kProviderNotFound for an unknown provider, kProviderError
/// for bad syntax, an empty string or a missing Data Source.
OdbcTarget Translate(const std::string& oledb, const DriverNames& drivers, PathMapper driverPath);

/// What the connection is opened with: an ADO connection string ("File Name=" and a
/// data link file's core path, or an OLE DB string) turned into an ODBC string for
/// this build. Reads the data link file; checks that a database file exists, since
/// some drivers (SQLite) would create a missing one. Throws qm::Error.
std::string ToOdbcConnectionString(const std::string& adoConnectionString);

}  // namespace qm::platform::oledb
