// The data link's driver on unixODBC: Linux driver names, Linux paths. The
// connection itself is common/database.cpp, in UTF-8 (posix/native_odbc.h).
#include "platform/common/oledb.h"
#include "platform/posix/found_path.h"

namespace qm::platform::oledb {

Style DriverStyle() { return Style::Posix; }

// Found without regard to case, as the Windows drivers find the file.
std::string DriverFilePath(const std::string& corePath) { return posix::FoundNativePath(corePath); }

// unixODBC lists its drivers in odbcinst.ini; that is all there is to say.
std::string MissingDriverHint() { return " Die installierten Treiber nennt 'odbcinst -q -d'."; }
std::string MissingDataSourceHint() { return " Die eingerichteten Datenquellen nennt 'odbcinst -q -s'."; }

}  // namespace qm::platform::oledb
