// The user database on the system's ODBC, through the wide functions only:
// Wine implements the W entry points (and hands them to the host's unixODBC)
// but lacks several A ones, SQLDriverConnectA among them. Texts are UTF-16
// (SQL_C_WCHAR) at the driver manager and UTF-8 inside the program.
#include "platform/database.h"

#include "platform/win32/win32.h"

#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <memory>
#include <string>

#include "platform/common/oledb.h"
#include "platform/error.h"

namespace qm::platform::oledb {

namespace {

// Wine's kernel32 exports this; Windows does not. It returns the host's path,
// allocated on the process heap.
using WineUnixFileName = char*(__cdecl*)(const wchar_t*);

WineUnixFileName WinePathFunction() {
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  if (kernel == nullptr) return nullptr;
  return reinterpret_cast<WineUnixFileName>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "wine_get_unix_file_name")));
}

struct HeapDeleter {
  void operator()(char* p) const { HeapFree(GetProcessHeap(), 0, p); }
};

}  // namespace

// Wine hands ODBC calls to the host's unixODBC, so the drivers are the host's
// Linux drivers: they know Linux driver names and open Linux paths.
Style DriverStyle() { return WinePathFunction() != nullptr ? Style::Posix : Style::Windows; }

std::string DriverFilePath(const std::string& corePath) {
  WineUnixFileName toUnix = WinePathFunction();
  if (toUnix == nullptr || corePath.empty()) return corePath;
  std::unique_ptr<char, HeapDeleter> unixPath(toUnix(win32::Widen(corePath).c_str()));
  return unixPath ? std::string(unixPath.get()) : corePath;
}

}  // namespace qm::platform::oledb

namespace qm::platform::database {

namespace {

constexpr const char* kOdbcSource = "Microsoft OLE DB Provider for ODBC Drivers";

bool Ok(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

SQLWCHAR* Sql(std::wstring& text) { return reinterpret_cast<SQLWCHAR*>(text.data()); }

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
    wchar_t state[6] = {};
    SQLINTEGER nativeError = 0;
    wchar_t message[SQL_MAX_MESSAGE_LENGTH + 1] = {};
    SQLSMALLINT length = 0;
    SQLRETURN rc = SQLGetDiagRecW(type, h, record, reinterpret_cast<SQLWCHAR*>(state), &nativeError,
                                  reinterpret_cast<SQLWCHAR*>(message), SQL_MAX_MESSAGE_LENGTH,
                                  &length);
    if (!Ok(rc)) break;
    std::string text = win32::Narrow(std::wstring(message));
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
  SQLSetConnectAttrW(impl->dbc.get(), SQL_ATTR_LOGIN_TIMEOUT,
                     reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(loginTimeoutSeconds)), 0);
  std::wstring in = win32::Widen(odbcConnectionString);
  wchar_t out[1024] = {};
  SQLSMALLINT outLength = 0;
  SQLRETURN rc = SQLDriverConnectW(impl->dbc.get(), nullptr, Sql(in),
                                   static_cast<SQLSMALLINT>(in.size()),
                                   reinterpret_cast<SQLWCHAR*>(out), 1023, &outLength,
                                   SQL_DRIVER_NOPROMPT);
  if (!Ok(rc)) Fail(impl->dbc, "SQLDriverConnectW");
  impl->connected = true;
  return Connection(std::move(impl));
}

std::optional<Row> Connection::QueryFirstRow(const std::string& sql, int queryTimeoutSeconds) {
  Handle stmt = Allocate(SQL_HANDLE_STMT, impl_->dbc, "SQLAllocHandle");
  SQLSetStmtAttrW(stmt.get(), SQL_ATTR_QUERY_TIMEOUT,
                  reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(queryTimeoutSeconds)), 0);
  std::wstring text = win32::Widen(sql);
  SQLRETURN rc = SQLExecDirectW(stmt.get(), Sql(text), static_cast<SQLINTEGER>(text.size()));
  if (rc == SQL_NO_DATA) return std::nullopt;  // a statement without a result set
  if (!Ok(rc)) Fail(stmt, "SQLExecDirectW");
  SQLSMALLINT count = 0;
  if (!Ok(SQLNumResultCols(stmt.get(), &count))) Fail(stmt, "SQLNumResultCols");
  if (count <= 0) return std::nullopt;
  rc = SQLFetch(stmt.get());
  if (rc == SQL_NO_DATA) return std::nullopt;
  if (!Ok(rc)) Fail(stmt, "SQLFetch");

  Row row;
  for (SQLUSMALLINT column = 1; column <= static_cast<SQLUSMALLINT>(count); ++column) {
    wchar_t name[512] = {};
    SQLSMALLINT nameLength = 0, dataType = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    if (!Ok(SQLDescribeColW(stmt.get(), column, reinterpret_cast<SQLWCHAR*>(name), 511,
                            &nameLength, &dataType, &size, &digits, &nullable)))
      Fail(stmt, "SQLDescribeColW");

    // Long values come in pieces; each piece ends with a terminating zero.
    std::optional<std::string> value;
    std::wstring data;
    for (;;) {
      wchar_t buffer[2048];
      SQLLEN indicator = 0;
      rc = SQLGetData(stmt.get(), column, SQL_C_WCHAR, buffer, sizeof buffer, &indicator);
      if (rc == SQL_NO_DATA) break;
      if (!Ok(rc)) Fail(stmt, "SQLGetData");
      if (indicator == SQL_NULL_DATA) {
        data.clear();
        value.reset();
        break;
      }
      const size_t capacity = sizeof buffer / sizeof buffer[0] - 1;
      size_t piece = indicator == SQL_NO_TOTAL ||
                             indicator >= static_cast<SQLLEN>(sizeof buffer - sizeof buffer[0])
                         ? capacity
                         : static_cast<size_t>(indicator) / sizeof(wchar_t);
      data.append(buffer, piece);
      value = win32::Narrow(data);
      if (rc == SQL_SUCCESS) break;
    }
    row.columns.emplace_back(win32::Narrow(std::wstring(name)), value);
  }
  SQLCloseCursor(stmt.get());
  return row;
}

}  // namespace qm::platform::database
