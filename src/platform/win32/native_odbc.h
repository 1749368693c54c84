// What common/database.cpp needs from the system's ODBC: its headers and the
// text type. Only the wide functions are used: Wine implements the W entry
// points (and hands them to the host's unixODBC) but lacks several A ones,
// SQLDriverConnectA among them. Texts are UTF-16 (SQL_C_WCHAR) at the driver
// manager.
#pragma once

// ODBC's headers need windows.h first.
#include "platform/win32/win32.h"

#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

namespace qm::platform::database {

using OdbcChar = SQLWCHAR;

}  // namespace qm::platform::database
