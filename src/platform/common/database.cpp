// The database service on ODBC, OS-independent: the connection, the first row
// of a query, the result row and the opening by an ADO connection string.
// native_odbc.h comes from the per-OS folder: the system's ODBC headers and
// the text type the build speaks to its driver manager with (OdbcChar).
#include "platform/database.h"

#include "native_odbc.h"

#include <algorithm>
#include <iterator>
#include <string_view>
#include <vector>

#include "platform/common/oledb.h"
#include "platform/common/text.h"
#include "platform/common/unique_handle.h"
#include "platform/error.h"

namespace qm::platform::database {

// Named, not anonymous: each build uses one family, and the other must not count as unused.
namespace odbc {

/// The driver manager's two families of text functions; the build uses the one
/// of its OdbcChar. Both are declared by every ODBC header, so both compile here.
template <typename Char>
struct Family;

/// The plain functions with SQL_C_CHAR: UTF-8 both ways.
template <>
struct Family<SQLCHAR> {
  static constexpr SQLSMALLINT kCType = SQL_C_CHAR;
  static constexpr const char* kSuffix = "";
  static std::vector<SQLCHAR> FromUtf8(std::string_view utf8) { return {utf8.begin(), utf8.end()}; }
  static std::string ToUtf8(const SQLCHAR* text, size_t length) { return {text, text + length}; }
  static SQLRETURN GetDiagRec(auto... a) { return SQLGetDiagRec(a...); }
  static SQLRETURN SetConnectAttr(auto... a) { return SQLSetConnectAttr(a...); }
  static SQLRETURN DriverConnect(auto... a) { return SQLDriverConnect(a...); }
  static SQLRETURN SetStmtAttr(auto... a) { return SQLSetStmtAttr(a...); }
  static SQLRETURN ExecDirect(auto... a) { return SQLExecDirect(a...); }
  static SQLRETURN DescribeCol(auto... a) { return SQLDescribeCol(a...); }
  static SQLRETURN Drivers(auto... a) { return SQLDrivers(a...); }
};

/// The W functions with SQL_C_WCHAR: UTF-16.
template <>
struct Family<SQLWCHAR> {
  static_assert(sizeof(SQLWCHAR) == sizeof(char16_t));
  static constexpr SQLSMALLINT kCType = SQL_C_WCHAR;
  static constexpr const char* kSuffix = "W";
  static std::vector<SQLWCHAR> FromUtf8(std::string_view utf8) {
    const std::u16string wide = text::Utf8ToUtf16(utf8);
    return {wide.begin(), wide.end()};
  }
  static std::string ToUtf8(const SQLWCHAR* text, size_t length) {
    return text::Utf16ToUtf8(std::u16string(text, text + length));
  }
  static SQLRETURN GetDiagRec(auto... a) { return SQLGetDiagRecW(a...); }
  static SQLRETURN SetConnectAttr(auto... a) { return SQLSetConnectAttrW(a...); }
  static SQLRETURN DriverConnect(auto... a) { return SQLDriverConnectW(a...); }
  static SQLRETURN SetStmtAttr(auto... a) { return SQLSetStmtAttrW(a...); }
  static SQLRETURN ExecDirect(auto... a) { return SQLExecDirectW(a...); }
  static SQLRETURN DescribeCol(auto... a) { return SQLDescribeColW(a...); }
  static SQLRETURN Drivers(auto... a) { return SQLDriversW(a...); }
};

}  // namespace odbc

namespace {

constexpr const char* kOdbcSource = "Microsoft OLE DB Provider for ODBC Drivers";
constexpr SQLSMALLINT kDiagnosticRecords = 10;  // looked at for a message with a text
constexpr size_t kSqlStateLength = 5;
constexpr size_t kConnectionOutLength = 1024;  // the completed connection string, not used
constexpr size_t kColumnNameLength = 512;
constexpr size_t kDriverNameLength = 256;  // a driver's name, and its attributes (not used)
constexpr size_t kPieceBytes = 4096;  // one SQLGetData call

using Odbc = odbc::Family<OdbcChar>;

bool Ok(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

/// A text function's name as the error names it: the wide family's with its "W".
std::string Function(const char* name) { return name + std::string(Odbc::kSuffix); }

/// Text for the driver manager, zero-terminated (an empty text is no null pointer).
std::vector<OdbcChar> ToOdbc(std::string_view utf8) {
  std::vector<OdbcChar> text = Odbc::FromUtf8(utf8);
  text.push_back(OdbcChar{0});
  return text;
}

/// The text of a buffer the driver filled, up to its terminating zero.
template <size_t N>
std::string FromOdbc(const OdbcChar (&buffer)[N]) {
  return Odbc::ToUtf8(buffer,
                      static_cast<size_t>(std::find(buffer, buffer + N, OdbcChar{0}) - buffer));
}

/// A timeout in seconds as the attribute functions take it.
SQLPOINTER Seconds(int seconds) {
  return reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(seconds));
}

template <SQLSMALLINT Type>
struct HandleTraits {
  using Handle = SQLHANDLE;
  static SQLHANDLE Invalid() { return SQL_NULL_HANDLE; }
  static bool Close(SQLHANDLE h) { return Ok(SQLFreeHandle(Type, h)); }
};

/// One ODBC handle of the given type, freed when it goes out of scope.
template <SQLSMALLINT Type>
using Handle = UniqueHandle<HandleTraits<Type>>;

// The driver manager's "data source name not found and no default driver
// specified": the driver named in the connection string is not installed for
// a program of this one's bitness.
constexpr std::string_view kDriverNotFound = "IM002";
// "Specified driver could not be loaded": a data source whose driver is of the
// other bitness, or gone.
constexpr std::string_view kDriverNotLoaded = "IM003";

struct Diagnostic {
  std::string state;
  std::string text;
};

// The driver's diagnostic messages for the handle, the first one that has a text.
Diagnostic Diagnostics(SQLSMALLINT type, SQLHANDLE h) {
  for (SQLSMALLINT record = 1; record <= kDiagnosticRecords; ++record) {
    OdbcChar state[kSqlStateLength + 1] = {};
    SQLINTEGER nativeError = 0;
    OdbcChar message[SQL_MAX_MESSAGE_LENGTH + 1] = {};
    SQLSMALLINT length = 0;
    if (!Ok(Odbc::GetDiagRec(type, h, record, state, &nativeError, message,
                             static_cast<SQLSMALLINT>(SQL_MAX_MESSAGE_LENGTH), &length)))
      break;
    std::string text = FromOdbc(message);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    if (!text.empty()) return {FromOdbc(state), text};
  }
  return {};
}

template <SQLSMALLINT Type>
[[noreturn]] void Fail(const Handle<Type>& handle, const std::string& what,
                       const std::string& driver = "", const std::string& dataSource = "") {
  Diagnostic d = handle.valid() ? Diagnostics(Type, handle.get()) : Diagnostic{};
  std::string& text = d.text;
  if (text.empty()) text = "ODBC-Fehler bei " + what + " ohne Meldung des Treibers.";
  // unixODBC reports a driver it has no library for as 01000 "Can't open lib".
  const bool missingDriver = d.state == kDriverNotFound ||
                             d.text.starts_with("[unixODBC][Driver Manager]Can't open lib");
  if (missingDriver && !driver.empty()) {
    text = "Der ODBC-Treiber '" + driver + "' ist nicht installiert (" + text + ")." +
           oledb::MissingDriverHint();
  } else if (driver.empty() && !dataSource.empty() &&
             (d.state == kDriverNotFound || d.state == kDriverNotLoaded)) {
    text = "Die ODBC-Datenquelle '" + dataSource + "' oder ihr Treiber ist nicht eingerichtet (" + text + ")." +
           oledb::MissingDataSourceHint();
  }
  throw err::FromPlatform(oledb::kProviderError, kOdbcSource, text);
}

// The value of a key of a connection string, a driver's braces dropped ("Driver={...}");
// "" when it has none.
std::string ValueOf(std::string_view connection, std::string_view name) {
  try {
    for (const auto& [key, value] : oledb::ParseConnectionString(connection)) {
      if (text::EqualsNoCase(key, name)) {
        return value.size() >= 2 && value.front() == '{' && value.back() == '}'
                   ? value.substr(1, value.size() - 2)
                   : value;
      }
    }
  } catch (const Error&) {
  }
  return "";
}

template <SQLSMALLINT Type, SQLSMALLINT ParentType>
Handle<Type> Allocate(const Handle<ParentType>& parent) {
  SQLHANDLE h = SQL_NULL_HANDLE;
  if (!Ok(SQLAllocHandle(Type, parent.get(), &h))) Fail(parent, "SQLAllocHandle");
  return Handle<Type>(h);
}

using Statement = Handle<SQL_HANDLE_STMT>;

// Long values come in pieces; each piece ends with a terminating zero.
std::optional<std::string> ReadValue(const Statement& stmt, SQLUSMALLINT column) {
  std::vector<OdbcChar> data;
  bool anyPiece = false;
  for (;;) {
    OdbcChar buffer[kPieceBytes / sizeof(OdbcChar)];
    SQLLEN indicator = 0;
    SQLRETURN rc = SQLGetData(stmt.get(), column, Odbc::kCType, buffer, sizeof buffer, &indicator);
    if (rc == SQL_NO_DATA) break;
    if (!Ok(rc)) Fail(stmt, "SQLGetData");
    if (indicator == SQL_NULL_DATA) return std::nullopt;
    const size_t capacity = std::size(buffer) - 1;
    const size_t piece = indicator == SQL_NO_TOTAL ||
                                 indicator >= static_cast<SQLLEN>(sizeof buffer - sizeof buffer[0])
                             ? capacity
                             : static_cast<size_t>(indicator) / sizeof buffer[0];
    data.insert(data.end(), buffer, buffer + piece);
    anyPiece = true;
    if (rc == SQL_SUCCESS) break;
  }
  if (!anyPiece) return std::nullopt;
  return Odbc::ToUtf8(data.data(), data.size());
}

// A column's bytes, read as binary data in pieces, at most limit + 1 of them.
BinaryColumn ReadBinary(const Statement& stmt, SQLUSMALLINT column, std::size_t limit) {
  BinaryColumn result;
  result.found = true;
  std::string bytes;
  for (;;) {
    char buffer[kPieceBytes];
    SQLLEN indicator = 0;
    const SQLRETURN rc = SQLGetData(stmt.get(), column, SQL_C_BINARY, buffer, sizeof buffer, &indicator);
    if (rc == SQL_NO_DATA) break;
    if (!Ok(rc)) Fail(stmt, "SQLGetData");
    if (indicator == SQL_NULL_DATA) return result;
    const size_t piece = indicator == SQL_NO_TOTAL || indicator > static_cast<SQLLEN>(sizeof buffer)
                             ? sizeof buffer
                             : static_cast<size_t>(indicator);
    bytes.append(buffer, piece);
    if (bytes.size() > limit) {
      result.cut = true;
      break;
    }
    if (rc == SQL_SUCCESS) break;
  }
  result.bytes = std::move(bytes);
  return result;
}

}  // namespace

const std::optional<std::string>* Row::Find(const std::string& name) const {
  for (const auto& [column, value] : columns) {
    if (text::EqualsNoCase(column, name)) return &value;
  }
  return nullptr;
}

struct Connection::Impl {
  Handle<SQL_HANDLE_ENV> env;
  Handle<SQL_HANDLE_DBC> dbc;
  bool connected = false;
  ~Impl() {
    if (connected) SQLDisconnect(dbc.get());
  }
};

Connection::Connection(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Connection::~Connection() = default;
Connection::Connection(Connection&&) noexcept = default;
Connection& Connection::operator=(Connection&&) noexcept = default;

bool Connection::IsOpen() const { return impl_ != nullptr && impl_->connected; }

Connection Connection::Open(const std::string& odbcConnectionString, int loginTimeoutSeconds) {
  auto impl = std::make_unique<Impl>();
  SQLHANDLE env = SQL_NULL_HANDLE;
  if (!Ok(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env))) {
    throw Error(oledb::kProviderError, kOdbcSource,
                "Die ODBC-Umgebung konnte nicht angelegt werden.");
  }
  impl->env = Handle<SQL_HANDLE_ENV>(env);
  if (!Ok(SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0)))
    Fail(impl->env, "SQLSetEnvAttr");
  impl->dbc = Allocate<SQL_HANDLE_DBC>(impl->env);
  Odbc::SetConnectAttr(impl->dbc.get(), SQL_ATTR_LOGIN_TIMEOUT, Seconds(loginTimeoutSeconds), 0);
  std::vector<OdbcChar> in = ToOdbc(odbcConnectionString);
  OdbcChar out[kConnectionOutLength] = {};
  SQLSMALLINT outLength = 0;
  SQLRETURN rc = Odbc::DriverConnect(impl->dbc.get(), nullptr, in.data(),
                                     static_cast<SQLSMALLINT>(in.size() - 1), out,
                                     static_cast<SQLSMALLINT>(std::size(out) - 1), &outLength,
                                     static_cast<SQLUSMALLINT>(SQL_DRIVER_NOPROMPT));
  if (!Ok(rc)) {
    Fail(impl->dbc, Function("SQLDriverConnect"), ValueOf(odbcConnectionString, "Driver"),
         ValueOf(odbcConnectionString, "DSN"));
  }
  impl->connected = true;
  return Connection(std::move(impl));
}

Connection Connection::OpenConnectionString(const std::string& adoConnectionString,
                                            int loginTimeoutSeconds) {
  return Open(oledb::ToOdbcConnectionString(adoConnectionString), loginTimeoutSeconds);
}

std::optional<Row> Connection::QueryFirstRow(const std::string& sql, int queryTimeoutSeconds,
                                             const std::string& binaryColumn, std::size_t limit) {
  Statement stmt = Allocate<SQL_HANDLE_STMT>(impl_->dbc);
  Odbc::SetStmtAttr(stmt.get(), SQL_ATTR_QUERY_TIMEOUT, Seconds(queryTimeoutSeconds), 0);
  std::vector<OdbcChar> text = ToOdbc(sql);
  SQLRETURN rc =
      Odbc::ExecDirect(stmt.get(), text.data(), static_cast<SQLINTEGER>(text.size() - 1));
  if (rc == SQL_NO_DATA) return std::nullopt;  // a statement without a result set
  if (!Ok(rc)) Fail(stmt, Function("SQLExecDirect"));
  SQLSMALLINT count = 0;
  if (!Ok(SQLNumResultCols(stmt.get(), &count))) Fail(stmt, "SQLNumResultCols");
  if (count <= 0) return std::nullopt;
  rc = SQLFetch(stmt.get());
  if (rc == SQL_NO_DATA) return std::nullopt;
  if (!Ok(rc)) Fail(stmt, "SQLFetch");

  Row row;
  for (SQLUSMALLINT column = 1; column <= static_cast<SQLUSMALLINT>(count); ++column) {
    OdbcChar name[kColumnNameLength] = {};
    SQLSMALLINT nameLength = 0, dataType = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    if (!Ok(Odbc::DescribeCol(stmt.get(), column, name,
                              static_cast<SQLSMALLINT>(std::size(name) - 1), &nameLength, &dataType,
                              &size, &digits, &nullable)))
      Fail(stmt, Function("SQLDescribeCol"));
    const std::string columnName = FromOdbc(name);
    if (!binaryColumn.empty() && text::EqualsNoCase(columnName, binaryColumn)) {
      row.binary = ReadBinary(stmt, column, limit);
      continue;
    }
    std::optional<std::string> value = ReadValue(stmt, column);
    row.columns.emplace_back(columnName, std::move(value));
  }
  SQLCloseCursor(stmt.get());
  return row;
}

std::vector<std::optional<std::string>> Connection::QueryFirstColumn(const std::string& sql,
                                                                     int queryTimeoutSeconds,
                                                                     std::size_t maxRows) {
  Statement stmt = Allocate<SQL_HANDLE_STMT>(impl_->dbc);
  Odbc::SetStmtAttr(stmt.get(), SQL_ATTR_QUERY_TIMEOUT, Seconds(queryTimeoutSeconds), 0);
  std::vector<OdbcChar> text = ToOdbc(sql);
  SQLRETURN rc =
      Odbc::ExecDirect(stmt.get(), text.data(), static_cast<SQLINTEGER>(text.size() - 1));
  std::vector<std::optional<std::string>> values;
  if (rc == SQL_NO_DATA) return values;
  if (!Ok(rc)) Fail(stmt, Function("SQLExecDirect"));
  SQLSMALLINT count = 0;
  if (!Ok(SQLNumResultCols(stmt.get(), &count))) Fail(stmt, "SQLNumResultCols");
  if (count <= 0) return values;
  while (values.size() < maxRows) {
    rc = SQLFetch(stmt.get());
    if (rc == SQL_NO_DATA) break;
    if (!Ok(rc)) Fail(stmt, "SQLFetch");
    values.push_back(ReadValue(stmt, 1));
  }
  SQLCloseCursor(stmt.get());
  return values;
}

}  // namespace qm::platform::database

namespace qm::platform::oledb {

std::vector<std::string> InstalledDrivers() {
  using database::Odbc;
  std::vector<std::string> names;
  SQLHANDLE rawEnv = SQL_NULL_HANDLE;
  if (!database::Ok(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &rawEnv))) return names;
  const database::Handle<SQL_HANDLE_ENV> env(rawEnv);
  if (!database::Ok(SQLSetEnvAttr(rawEnv, SQL_ATTR_ODBC_VERSION,
                                  reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0)))
    return names;
  SQLUSMALLINT direction = SQL_FETCH_FIRST;
  for (;;) {
    database::OdbcChar name[database::kDriverNameLength] = {};
    database::OdbcChar attributes[database::kDriverNameLength] = {};
    SQLSMALLINT nameLength = 0, attributesLength = 0;
    const SQLRETURN rc = Odbc::Drivers(rawEnv, direction, name, static_cast<SQLSMALLINT>(std::size(name) - 1),
                                       &nameLength, attributes,
                                       static_cast<SQLSMALLINT>(std::size(attributes) - 1), &attributesLength);
    if (!database::Ok(rc)) break;
    names.push_back(database::FromOdbc(name));
    direction = SQL_FETCH_NEXT;
  }
  return names;
}

}  // namespace qm::platform::oledb
