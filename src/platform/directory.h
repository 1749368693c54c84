// The directory (Active Directory or any LDAP server) over the LDAP C API:
// wldap32 on Windows, OpenLDAP's libldap on Linux. A search is handed over as
// a structure (server, base, scope, filter, attributes, page size); the
// directory provider's dialect is read only where users write it, in a search
// base "[server[:port]/]DN" (ParseBase).
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qm::platform::directory {

/// One entry found: its distinguished name as the server writes it, and the
/// requested attributes with their values in server order.
class Entry {
 public:
  std::string dn;
  std::vector<std::pair<std::string, std::vector<std::string>>> attributes;

  /// The values of the attribute named name without regard to case; nullptr when
  /// the entry lacks it (a null value).
  const std::vector<std::string>* Find(const std::string& name) const;
};

enum class Scope { Base, OneLevel, Subtree };

/// One search of the directory.
struct Search {
  std::string server;  ///< host name or address; "" = the platform's default server
  int port = 0;        ///< 0 = the port of the connection's protection (389, or 636 for LDAPS)
  std::string base;    ///< distinguished name; "" = the directory's default search base
  Scope scope = Scope::Subtree;
  std::string filter;
  std::vector<std::string> attributes;  ///< none: the entries without attributes
  int pageSize = 0;                     ///< entries per page of the paged results
};

/// Where a search base as users write it points, in the provider's dialect:
/// "[server[:port]/]DN" with "\/" for a "/" inside the DN ("[::1]:389" for an
/// IPv6 address); "server" alone (no "=") names a server and its default
/// naming context. Returns a Search with server, port and base set. Throws
/// qm::Error (the provider's "errors in the command", -2147217900) when the
/// server part is malformed: an empty host, a port that is not 1 to 65535.
Search ParseBase(const std::string& base);

/// The server of a search as the connection tells servers apart: "" for the
/// platform's default, else "server:port" with the server in lower case.
/// Never fails.
std::string ServerKey(const Search& search);

/// Account used to bind; both parts set or no account at all.
struct Credentials {
  std::string user;
  std::string password;
};

/// How the connection to each server is protected. StartTls upgrades the plain
/// connection before any bind; Ldaps speaks TLS from the start (on port 636
/// where no port is named). Either way the server's certificate must chain to
/// a trusted authority and name the server, or the connection fails: there is
/// no fallback to a plain one.
enum class Encryption { None, StartTls, Ldaps };

/// A directory connection; unbinds and frees itself.
class Connection {
 public:
  /// Prepares the connection (each server is connected, with encryption, at
  /// its first search). Throws qm::Error.
  static Connection Open(std::optional<Credentials> credentials,
                         Encryption encryption = Encryption::None);

  ~Connection();
  Connection(Connection&&) noexcept;
  Connection& operator=(Connection&&) noexcept;

  /// True when the connection is usable (the provider's state "open").
  bool IsOpen() const;

  /// Runs one paged search and returns its first entry, nullopt when nothing
  /// was found. The search, and the connection when it is new, must be over
  /// within the time limit. Throws qm::Error with the LDAP library's message
  /// when the search fails, the timeout error when the time runs out, and
  /// error 999 when the platform's default server is configured by a URL that
  /// the encryption cannot protect.
  std::optional<Entry> SearchFirst(const Search& search, int timeLimitSeconds);

  /// Runs one paged search and returns every entry found, in server order.
  /// The search, and the connection when it is new, must be over by the
  /// deadline, which several searches may share. Throws as SearchFirst does,
  /// and the timeout error when the server sends more pages than a search
  /// may take.
  std::vector<Entry> SearchAll(const Search& search,
                               std::chrono::steady_clock::time_point deadline);

  /// The servers connected so far (opaque).
  struct Impl;

 private:
  explicit Connection(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace qm::platform::directory
