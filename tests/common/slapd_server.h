// A real slapd for the directory tests: started on 127.0.0.1 with a free port
// in a folder of its own, loaded with tests/fixtures/ldap, stopped by the
// destructor. Also a server that accepts connections and never answers, and a
// port where nobody listens.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace qmtest {

inline constexpr const char* kSlapd = "/usr/sbin/slapd";
inline constexpr const char* kSlapadd = "/usr/sbin/slapadd";
inline constexpr const char* kDirectorySuffix = "dc=quillmark,dc=test";
inline constexpr const char* kVertrieb = "ou=Vertrieb,dc=quillmark,dc=test";
inline constexpr const char* kTechnik = "ou=Technik,dc=quillmark,dc=test";
inline constexpr const char* kReaderDn = "cn=reader,ou=Dienste,dc=quillmark,dc=test";
inline constexpr const char* kReaderPassword = "Lese-Passwort1";

/// A port on 127.0.0.1 that was free a moment ago.
inline int FreeLoopbackPort() {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) throw std::runtime_error("socket");
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  socklen_t len = sizeof addr;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    ::close(fd);
    throw std::runtime_error("bind to a free port failed");
  }
  int port = ntohs(addr.sin_port);
  ::close(fd);
  return port;
}

inline bool CanConnect(int port) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return false;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  ::close(fd);
  return ok;
}

/// A listening socket that never accepts nor answers: the kernel completes the
/// connection, requests stay unread.
class SilentServer {
 public:
  SilentServer() {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(fd_, 16) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
      throw std::runtime_error("silent server could not listen");
    port_ = ntohs(addr.sin_port);
  }
  ~SilentServer() {
    if (fd_ >= 0) ::close(fd_);
  }
  SilentServer(const SilentServer&) = delete;
  SilentServer& operator=(const SilentServer&) = delete;
  int port() const { return port_; }
  std::string Server() const { return "127.0.0.1:" + std::to_string(port_); }

 private:
  int fd_ = -1;
  int port_ = 0;
};

class TestSlapd {
 public:
  /// Starts the server in a folder of this process below parent (the folder is
  /// removed again when the server stops). Throws std::runtime_error with the
  /// reason when slapd is missing or does not come up.
  explicit TestSlapd(const std::filesystem::path& parent)
      : folder_(parent / ("slapd-" + std::to_string(::getpid()))) {
    namespace fs = std::filesystem;
    if (!fs::exists(kSlapd) || !fs::exists(kSlapadd))
      throw std::runtime_error(std::string(kSlapd) + " is not installed");
    fs::remove_all(folder_);
    fs::create_directories(folder_ / "db");
    fs::path fixtures = fs::path(QM_SOURCE_DIR) / "tests" / "fixtures" / "ldap";
    port_ = FreeLoopbackPort();

    std::ofstream conf(folder_ / "slapd.conf");
    conf << "include " << (fixtures / "ad-user.schema").string() << "\n"
         << "modulepath /usr/lib/ldap\n"
         << "moduleload back_mdb\n"
         << "pidfile " << (folder_ / "slapd.pid").string() << "\n"
         << "argsfile " << (folder_ / "slapd.args").string() << "\n"
         // An empty base (LDAP://server/ with nothing after it) searches the directory.
         << "defaultsearchbase \"" << kDirectorySuffix << "\"\n"
         << "access to dn.base=\"\" by * read\n"
         << "access to dn.base=\"cn=Subschema\" by * read\n"
         << "database mdb\n"
         << "maxsize 16777216\n"
         << "suffix \"" << kDirectorySuffix << "\"\n"
         << "rootdn \"cn=admin," << kDirectorySuffix << "\"\n"
         << "rootpw Verwalter-Passwort9\n"
         << "directory " << (folder_ / "db").string() << "\n"
         // Anonymous clients see the domain and its OUs but no person: finding a
         // user needs the reader account.
         << "access to attrs=userPassword by anonymous auth by * none\n"
         << "access to dn.subtree=\"" << kDirectorySuffix
         << "\" filter=(objectClass=person) by users read by * none\n"
         << "access to * by * read\n";
    conf.close();

    std::string load = std::string(kSlapadd) + " -q -f '" + (folder_ / "slapd.conf").string() +
                       "' -l '" + (fixtures / "directory.ldif").string() + "' > '" +
                       (folder_ / "slapadd.log").string() + "' 2>&1";
    if (std::system(load.c_str()) != 0)
      throw std::runtime_error("slapadd failed: " + ReadText(folder_ / "slapadd.log"));

    std::string url = "ldap://127.0.0.1:" + std::to_string(port_) + "/";
    std::string confPath = (folder_ / "slapd.conf").string();
    std::string logPath = (folder_ / "slapd.log").string();
    pid_ = ::fork();
    if (pid_ == 0) {
      FILE* log = std::freopen(logPath.c_str(), "w", stderr);
      (void)log;
      ::execl(kSlapd, kSlapd, "-d", "0", "-h", url.c_str(), "-f", confPath.c_str(),
              static_cast<char*>(nullptr));
      ::_exit(127);
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (!CanConnect(port_)) {
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        throw std::runtime_error("slapd ended at start: " + ReadText(folder_ / "slapd.log"));
      }
      if (std::chrono::steady_clock::now() > deadline) {
        Stop();
        throw std::runtime_error("slapd did not listen within 15 s");
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }

  ~TestSlapd() {
    Stop();
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  TestSlapd(const TestSlapd&) = delete;
  TestSlapd& operator=(const TestSlapd&) = delete;

  int port() const { return port_; }
  /// "127.0.0.1:port", as a search text names the server.
  std::string Server() const { return "127.0.0.1:" + std::to_string(port_); }
  /// "ldap://127.0.0.1:port/", for LDAPURI.
  std::string Uri() const { return "ldap://" + Server() + "/"; }

  void Stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    for (int i = 0; i < 100; ++i) {
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  static std::string ReadText(const std::filesystem::path& p) {
    std::ifstream in(p);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  std::filesystem::path folder_;
  int port_ = 0;
  pid_t pid_ = -1;
};

}  // namespace qmtest
