// The user database on unixODBC. Texts cross the driver manager as SQL_C_CHAR
// in UTF-8, which is what the Unicode drivers (psqlODBC "Unicode", SQLite3)
// hand out and take in on a UTF-8 system.
#include "platform/database.h"

#include <sql.h>
#include <sqlext.h>

#include <string>

#include "platform/common/oledb.h"
#include "platform/error.h"
#include "platform/paths.h"

namespace qm::platform::oledb {

Style DriverStyle() { return Style::Posix; }

std::string DriverFilePath(const std::string& corePath) { return ToNativePath(corePath); }

}  // namespace qm::platform::oledb

namespace qm::platform::database {

namespace {

constexpr const char* kOdbcSource = "Microsoft OLE DB Provider for ODBC Drivers";

bool Ok(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

/// Frees one ODBC handle when it goes out of scope.
class Handle {
 public:
  Handle() = default;
  Handle(SQLSMALLINT type, SQLHANDLE h) : type_(type), h_(h) {}
  ~Handle() { Reset(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  Handle(Handle&& o) noexcept : type_(o.type_), h_(o.h_) { o.h_ = SQL_NULL_HANDLE; }
  Handle& operator=(Handle&& o) noexcept {
    if (this != &o) {
      Reset();
      type_ = o.type_;
      h_ = o.h_;
      o.h_ = SQL_NULL_HANDLE;
    }
    return *this;
  }
  SQLHANDLE get() const { return h_; }
  SQLSMALLINT type() const { return type_; }
  void Reset() {
    if (h_ != SQL_NULL_HANDLE) SQLFreeHandle(type_, h_);
    h_ = SQL_NULL_HANDLE;
  }

 private:
  SQLSMALLINT type_ = SQL_HANDLE_ENV;
  SQLHANDLE h_ = SQL_NULL_HANDLE;
};

// The driver's diagnostic messages for the handle, the first one that has a text.
std::string Diagnostics(SQLSMALLINT type, SQLHANDLE h) {
  for (SQLSMALLINT record = 1; record <= 10; ++record) {
    SQLCHAR state[6] = {};
    SQLINTEGER nativeError = 0;
    SQLCHAR message[SQL_MAX_MESSAGE_LENGTH + 1] = {};
    SQLSMALLINT length = 0;
    SQLRETURN rc = SQLGetDiagRec(type, h, record, state, &nativeError, message,
                                 static_cast<SQLSMALLINT>(sizeof message - 1), &length);
    if (!Ok(rc)) break;
    std::string text(reinterpret_cast<const char*>(message));
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    if (!text.empty()) return text;
  }
  return {};
}

[[noreturn]] void Fail(const Handle& handle, const char* what) {
  std::string text = handle.get() != SQL_NULL_HANDLE ? Diagnostics(handle.type(), handle.get()) : "";
  if (text.empty()) text = std::string("ODBC-Fehler bei ") + what + " ohne Meldung des Treibers.";
  throw Error(oledb::kProviderError, kOdbcSource, text);
}

Handle Allocate(SQLSMALLINT type, const Handle& parent, const char* what) {
  SQLHANDLE h = SQL_NULL_HANDLE;
  SQLRETURN rc = SQLAllocHandle(type, parent.get(), &h);
  if (!Ok(rc)) Fail(parent, what);
  return Handle(type, h);
}

}  // namespace

struct Connection::Impl {
  Handle env;
  Handle dbc;
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
  impl->env = Handle(SQL_HANDLE_ENV, env);
  if (!Ok(SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0)))
    Fail(impl->env, "SQLSetEnvAttr");
  impl->dbc = Allocate(SQL_HANDLE_DBC, impl->env, "SQLAllocHandle");
  SQLSetConnectAttr(impl->dbc.get(), SQL_ATTR_LOGIN_TIMEOUT,
                    reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(loginTimeoutSeconds)), 0);
  SQLCHAR out[1024] = {};
  SQLSMALLINT outLength = 0;
  std::string in = odbcConnectionString;
  SQLRETURN rc = SQLDriverConnect(impl->dbc.get(), nullptr,
                                  reinterpret_cast<SQLCHAR*>(in.data()),
                                  static_cast<SQLSMALLINT>(in.size()), out,
                                  static_cast<SQLSMALLINT>(sizeof out), &outLength,
                                  SQL_DRIVER_NOPROMPT);
  if (!Ok(rc)) Fail(impl->dbc, "SQLDriverConnect");
  impl->connected = true;
  return Connection(std::move(impl));
}

std::optional<Row> Connection::QueryFirstRow(const std::string& sql, int queryTimeoutSeconds) {
  Handle stmt = Allocate(SQL_HANDLE_STMT, impl_->dbc, "SQLAllocHandle");
  SQLSetStmtAttr(stmt.get(), SQL_ATTR_QUERY_TIMEOUT,
                 reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(queryTimeoutSeconds)), 0);
  std::string text = sql;
  SQLRETURN rc = SQLExecDirect(stmt.get(), reinterpret_cast<SQLCHAR*>(text.data()),
                               static_cast<SQLINTEGER>(text.size()));
  if (rc == SQL_NO_DATA) return std::nullopt;  // a statement without a result set
  if (!Ok(rc)) Fail(stmt, "SQLExecDirect");
  SQLSMALLINT count = 0;
  if (!Ok(SQLNumResultCols(stmt.get(), &count))) Fail(stmt, "SQLNumResultCols");
  if (count <= 0) return std::nullopt;
  rc = SQLFetch(stmt.get());
  if (rc == SQL_NO_DATA) return std::nullopt;
  if (!Ok(rc)) Fail(stmt, "SQLFetch");

  Row row;
  for (SQLUSMALLINT column = 1; column <= static_cast<SQLUSMALLINT>(count); ++column) {
    SQLCHAR name[512] = {};
    SQLSMALLINT nameLength = 0, dataType = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    if (!Ok(SQLDescribeCol(stmt.get(), column, name, static_cast<SQLSMALLINT>(sizeof name - 1),
                           &nameLength, &dataType, &size, &digits, &nullable)))
      Fail(stmt, "SQLDescribeCol");

    // Long values come in pieces; each piece ends with the terminating zero.
    std::optional<std::string> value;
    std::string data;
    for (;;) {
      char buffer[4096];
      SQLLEN indicator = 0;
      rc = SQLGetData(stmt.get(), column, SQL_C_CHAR, buffer, sizeof buffer, &indicator);
      if (rc == SQL_NO_DATA) break;
      if (!Ok(rc)) Fail(stmt, "SQLGetData");
      if (indicator == SQL_NULL_DATA) {
        data.clear();
        value.reset();
        break;
      }
      size_t piece = indicator == SQL_NO_TOTAL || indicator >= static_cast<SQLLEN>(sizeof buffer)
                         ? sizeof buffer - 1
                         : static_cast<size_t>(indicator);
      data.append(buffer, piece);
      value = data;
      if (rc == SQL_SUCCESS) break;
    }
    row.columns.emplace_back(std::string(reinterpret_cast<const char*>(name)), value);
  }
  SQLCloseCursor(stmt.get());
  return row;
}

}  // namespace qm::platform::database
