// What common/database.cpp needs from unixODBC: its headers and the text type.
// Texts cross the driver manager as SQL_C_CHAR in UTF-8, which is what the
// Unicode drivers (psqlODBC "Unicode", SQLite3) hand out and take in on a UTF-8
// system.
#pragma once

#include <sql.h>
#include <sqlext.h>

namespace qm::platform::database {

using OdbcChar = SQLCHAR;

}  // namespace qm::platform::database
