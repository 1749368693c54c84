// Servers on 127.0.0.1 for the directory and database tests: a port where
// nobody listens, a server that takes connections and never answers, and real
// server programs started on a free port in a folder of their own: slapd with
// the directory of tests/fixtures/ldap here, PostgreSQL in postgres_server.h.
#pragma once

#include <arpa/inet.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "../e2e/harness.h"

namespace qmtest {

/// A TCP socket on 127.0.0.1: bound to a port the system picks (written to
/// port) and listening when port is 0, else connected to port; -1 on failure.
inline int LoopbackSocket(int& port) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<uint16_t>(port));
  auto* sa = reinterpret_cast<sockaddr*>(&a);
  socklen_t len = sizeof a;
  bool ok = fd >= 0 && (port != 0 ? ::connect(fd, sa, len) == 0
                                   : ::bind(fd, sa, len) == 0 && ::listen(fd, 16) == 0 &&
                                         ::getsockname(fd, sa, &len) == 0);
  if (ok && port == 0) port = ntohs(a.sin_port);
  if (!ok && fd >= 0) ::close(fd);
  return ok ? fd : -1;
}

/// A port on 127.0.0.1 that was free a moment ago: one where nobody listens.
inline int FreeLoopbackPort() {
  int port = 0;
  int fd = LoopbackSocket(port);
  if (fd < 0) throw std::runtime_error("no free port on 127.0.0.1");
  ::close(fd);
  return port;
}

/// A server that never answers: the kernel completes the connections, the
/// requests stay unread.
class SilentServer {
 public:
  SilentServer() : fd_(LoopbackSocket(port_)) {}
  ~SilentServer() { ::close(fd_); }
  SilentServer(const SilentServer&) = delete;
  SilentServer& operator=(const SilentServer&) = delete;
  std::string Server() const { return "127.0.0.1:" + std::to_string(port_); }
  int port() const { return port_; }

 private:
  int port_ = 0;
  int fd_;
};

/// A server program on 127.0.0.1: a free port, a folder of its own below parent
/// (removed again at the end), the process stopped by the destructor.
class LoopbackServer {
 public:
  LoopbackServer(const std::filesystem::path& parent, const std::string& name)
      : folder_(parent / (name + "-" + std::to_string(::getpid()))), port_(FreeLoopbackPort()) {
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
  }
  ~LoopbackServer() {
    Stop();
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  int port() const { return port_; }
  /// "127.0.0.1:port", as a search text names the server.
  std::string Server() const { return "127.0.0.1:" + std::to_string(port_); }

 protected:
  /// Runs a shell command in the folder; throws with its output when it fails.
  void Shell(const std::string& command) const {
    const std::string out = (folder_ / "shell.log").string();
    if (std::system(("cd '" + folder_.string() + "' && (" + command + ") >'" + out + "' 2>&1").c_str()) != 0)
      throw std::runtime_error(command + " failed: " + Read(out));
  }

  /// Starts argv, its output to server.log, and waits up to 30 s for ready()
  /// (by default: the port takes connections). Throws with the log when the
  /// program ends first or is late.
  void Start(const std::vector<std::string>& argv, std::function<bool()> ready = nullptr) {
    const auto log = folder_ / "server.log";
    const char* path = std::getenv("PATH");
    server_ = std::make_unique<Process>(argv, Env{{"PATH", path ? path : "/usr/bin:/bin"}}, folder_, log);
    if (!ready) ready = [this] {
      int port = port_;
      int fd = LoopbackSocket(port);
      if (fd >= 0) ::close(fd);
      return fd >= 0;
    };
    for (int i = 0; !ready(); ++i) {
      if (server_->Wait() || i == 600) {
        Stop();
        throw std::runtime_error(argv[0] + " did not start: " + Read(log));
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }

  /// SIGINT, which slapd and PostgreSQL both take as "shut down now"; the
  /// process group is killed when the server is still there after 10 s.
  void Stop() {
    if (server_ && !server_->Wait()) {
      ::kill(-server_->pid(), SIGINT);
      server_->Wait(10);
    }
    server_.reset();
  }

  static std::string Read(const std::filesystem::path& p) {
    std::ifstream in(p);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  std::filesystem::path folder_;
  int port_;
  std::unique_ptr<Process> server_;
};

inline constexpr const char* kDirectorySuffix = "dc=quillmark,dc=test";
inline constexpr const char* kVertrieb = "ou=Vertrieb,dc=quillmark,dc=test";
inline constexpr const char* kTechnik = "ou=Technik,dc=quillmark,dc=test";
inline constexpr const char* kReaderDn = "cn=reader,ou=Dienste,dc=quillmark,dc=test";
inline constexpr const char* kReaderPassword = "Lese-Passwort1";

/// slapd with the directory of tests/fixtures/ldap. Anonymous clients see the
/// domain and its OUs but no person: finding a user needs the reader account.
class TestSlapd : public LoopbackServer {
 public:
  explicit TestSlapd(const std::filesystem::path& parent) : LoopbackServer(parent, "slapd") {
    const auto fixtures = std::filesystem::path(QM_SOURCE_DIR) / "tests" / "fixtures" / "ldap";
    const std::string suffix = kDirectorySuffix;
    std::filesystem::create_directory(folder_ / "db");
    std::ofstream(folder_ / "slapd.conf")
        << "include " + (fixtures / "ad-user.schema").string() + "\nmodulepath /usr/lib/ldap\n"
           "moduleload back_mdb\n"
           // An empty base (LDAP://server/ with nothing after it) searches the directory.
           "defaultsearchbase \"" + suffix + "\"\n"
           "access to dn.base=\"\" by * read\naccess to dn.base=\"cn=Subschema\" by * read\n"
           "database mdb\nsuffix \"" + suffix + "\"\ndirectory " + (folder_ / "db").string() + "\n"
           "access to attrs=userPassword by anonymous auth by * none\n"
           "access to dn.subtree=\"" + suffix + "\" filter=(objectClass=person) by users read by * none\n"
           "access to * by * read\n";
    Shell("/usr/sbin/slapadd -q -f slapd.conf -l '" + (fixtures / "directory.ldif").string() + "'");
    Start({"/usr/sbin/slapd", "-d", "0", "-h", Uri(), "-f", (folder_ / "slapd.conf").string()});
  }
  /// "ldap://127.0.0.1:port/", for LDAPURI.
  std::string Uri() const { return "ldap://" + Server() + "/"; }
};

}  // namespace qmtest
