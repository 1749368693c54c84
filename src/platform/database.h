// The user database over ODBC (unixODBC on Linux, the system's ODBC on Windows).
// The connection value of the configuration (a data link file or an OLE DB
// connection string) is turned into an ODBC connection string by oledb.h.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qm::platform::database {

/// A column read as bytes rather than text (a photo in a BLOB).
struct BinaryColumn {
  bool found = false;               ///< the result has the column
  std::optional<std::string> bytes; ///< its bytes, nullopt for a database null
  bool cut = false;                 ///< longer than the limit: only its first bytes were read
};

/// One row of a result: column names with their values (nullopt = database null).
class Row {
 public:
  std::vector<std::pair<std::string, std::optional<std::string>>> columns;
  BinaryColumn binary;  ///< the column asked for as bytes; not among columns

  /// The column whose name equals name without regard to case; nullptr when none.
  const std::optional<std::string>* Find(const std::string& name) const;
};

/// An open ODBC connection; closes itself and every statement handle.
class Connection {
 public:
  /// SQLDriverConnect with the login timeout. Throws qm::Error with the driver's
  /// message when the connection cannot be opened.
  static Connection Open(const std::string& odbcConnectionString, int loginTimeoutSeconds);

  /// Opens what an ADO connection string names: "File Name=" and a data link
  /// file, or an OLE DB connection string (translated by common/oledb.h).
  /// Throws qm::Error for a bad data link file or connection string, an unknown
  /// provider, a missing database file, or a connection that fails.
  static Connection OpenConnectionString(const std::string& adoConnectionString,
                                         int loginTimeoutSeconds);

  ~Connection();
  Connection(Connection&&) noexcept;
  Connection& operator=(Connection&&) noexcept;

  /// Runs sql with the query timeout and returns its first row, nullopt when it
  /// has none. The column named binaryColumn (without regard to case) is read
  /// as bytes, at most limit + 1 of them, into Row::binary. Throws qm::Error
  /// with the driver's message when sql is rejected.
  std::optional<Row> QueryFirstRow(const std::string& sql, int queryTimeoutSeconds,
                                   const std::string& binaryColumn = "", std::size_t limit = 0);

  /// Runs sql with the query timeout and returns the first column of its rows
  /// in order (nullopt = database null), at most maxRows of them. Throws
  /// qm::Error with the driver's message when sql is rejected.
  std::vector<std::optional<std::string>> QueryFirstColumn(const std::string& sql, int queryTimeoutSeconds,
                                                           std::size_t maxRows);
  /// True while the connection is open (a moved-from connection is not).
  bool IsOpen() const;

 private:
  struct Impl;
  explicit Connection(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace qm::platform::database
