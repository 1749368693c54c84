// The OS-independent part of the database service: the result row and the
// opening by an ADO connection string.
#include "platform/database.h"

#include "platform/common/oledb.h"

namespace qm::platform::database {

const std::optional<std::string>* Row::Find(const std::string& name) const {
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  for (const auto& [column, value] : columns) {
    if (column.size() != name.size()) continue;
    bool same = true;
    for (size_t i = 0; i < name.size() && same; ++i) same = lower(column[i]) == lower(name[i]);
    if (same) return &value;
  }
  return nullptr;
}

Connection Connection::OpenConnectionString(const std::string& adoConnectionString,
                                            int loginTimeoutSeconds) {
  return Open(oledb::ToOdbcConnectionString(adoConnectionString), loginTimeoutSeconds);
}

}  // namespace qm::platform::database
