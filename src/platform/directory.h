// The directory (Active Directory or any LDAP server) over the LDAP C API:
// wldap32 on Windows, OpenLDAP's libldap on Linux. Searches are given as the
// directory provider's command text: "<LDAP://[server[:port]/]base>;filter;attributes;scope".
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

/// Account used to bind; both parts set or no account at all.
struct Credentials {
  std::string user;
  std::string password;
};

/// How the connection to each server is protected. StartTls upgrades the plain
/// connection before anything else is sent; Ldaps speaks TLS from the start (on
/// port 636 where no port is named). Either way the server's certificate must
/// chain to a trusted authority and name the server, or the connection fails:
/// there is no fallback to a plain one.
enum class Encryption { None, StartTls, Ldaps };

/// The server of a search text as the connection tells servers apart ("" for
/// the platform's default server); nullopt when the text is no search text
/// (the search then fails with its error). Never throws.
std::optional<std::string> ServerOf(const std::string& commandText);

/// A directory connection; unbinds and frees itself.
class Connection {
 public:
  /// Prepares the connection (the server is taken from each search text; a search
  /// text without server uses the platform's default; each server is connected
  /// with encryption). Throws qm::Error.
  static Connection Open(std::optional<Credentials> credentials,
                         Encryption encryption = Encryption::None);

  ~Connection();
  Connection(Connection&&) noexcept;
  Connection& operator=(Connection&&) noexcept;

  /// True when the connection is usable (the provider's state "open").
  bool IsOpen() const;

  /// Runs one search with paged results of pageSize and the time limit; returns
  /// the first entry, nullopt when nothing was found. Throws qm::Error with the
  /// LDAP library's message when the search fails.
  std::optional<Entry> SearchFirst(const std::string& commandText, int pageSize,
                                   int timeLimitSeconds);

  /// Runs one search with paged results of pageSize and returns every entry
  /// found, in server order. The search, and the connection when it is new,
  /// must be over by the deadline, which several searches may share. Throws
  /// qm::Error with the LDAP library's message when the search fails, and the
  /// timeout error when the deadline passes or the server sends more pages
  /// than a search may take.
  std::vector<Entry> SearchAll(const std::string& commandText, int pageSize,
                               std::chrono::steady_clock::time_point deadline);

  /// The servers connected so far (opaque).
  struct Impl;

 private:
  explicit Connection(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

/// The server part of a search base as written in the provider's LDAP dialect
/// ("host", "host:port"), with its "/"; "" when the base names no server.
/// "host" alone (no "=") names a server too. Never fails.
std::string ServerPart(const std::string& base);

}  // namespace qm::platform::directory
