// What the runs of an audit (/AUDIT) share: one connection to the database
// and one to the directory for every user, and the directory's answers that
// many users ask for (the entries of managers, the groups of groups). A run of
// its own has none of it: it opens and closes its own connections.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/database.h"
#include "platform/directory.h"

namespace qm {

struct SharedSources {
  SharedSources() = default;
  SharedSources(const SharedSources&) = delete;
  SharedSources& operator=(const SharedSources&) = delete;

  /// Opened by the first user that reads the source, closed by the audit.
  std::optional<platform::database::Connection> Database;
  std::optional<platform::directory::Connection> Directory;

  /// What the audit read before a user's run to learn the user's accounts:
  /// the rows of the query (by its text) and the first entry of the user's
  /// search (by server, base and filter). The run takes them instead of
  /// asking again; the audit drops what is left when the user is done.
  std::map<std::string, std::optional<platform::database::Row>> Rows;
  std::map<std::string, std::optional<platform::directory::Entry>> UserEntries;

  /// Entries read by DN for every user who names them (managers), nullopt
  /// for a DN the server does not hold; and the answers of group searches
  /// that name no user, by server, base and filter.
  std::map<std::string, std::optional<platform::directory::Entry>> EntriesByDn;
  std::map<std::string, std::vector<platform::directory::Entry>> GroupSearches;

  /// The addresses of the mailboxes named by the users' delegate lists, by DN.
  std::map<std::string, std::string> MailboxAddresses;
};

}  // namespace qm
