// Servers on 127.0.0.1 for the directory and database tests: a port where
// nobody listens, a server that takes connections and never answers, and real
// server programs started on a free port in a folder of their own: slapd with
// the directory of tests/fixtures/ldap here, PostgreSQL in postgres_server.h.
#pragma once

#include <arpa/inet.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <mutex>
#include <optional>
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

/// A directory server that keeps a search going for ever, speaking just enough
/// LDAP (BER) for that: it accepts every bind, answers the read of the root
/// entry (which the windows build makes first) with no entry, and every other
/// search as chosen. It is stopped with the object.
class EndlessDirectory {
 public:
  enum class Answer {
    PagesAtOnce,          ///< at once an empty page, with a cookie that asks for another
    PageEveryTwoSeconds,  ///< the same, two seconds after each request
    ReferenceEveryTwoSeconds,  ///< a search-result reference every two seconds, never the end
    OneEntryThenSilence,  ///< the first search finds Max Mustermann, every later one gets no answer
  };

  explicit EndlessDirectory(Answer answer) : answer_(answer), fd_(LoopbackSocket(port_)) {
    accepter_ = std::thread([this] { Accept(); });
  }
  ~EndlessDirectory() {
    stop_ = true;
    accepter_.join();
    std::lock_guard<std::mutex> lock(mutex_);
    for (std::thread& t : connections_) t.join();
    ::close(fd_);
  }
  EndlessDirectory(const EndlessDirectory&) = delete;
  EndlessDirectory& operator=(const EndlessDirectory&) = delete;

  std::string Server() const { return "127.0.0.1:" + std::to_string(port_); }

 private:
  using Clock = std::chrono::steady_clock;
  static constexpr int kPollMilliseconds = 100;
  static constexpr std::chrono::seconds kPause{2};

  static std::string Tlv(unsigned char tag, const std::string& content) {
    std::string length;
    for (size_t n = content.size(); n > 0; n >>= 8) length.insert(length.begin(), static_cast<char>(n & 0xFF));
    if (content.size() < 0x80) length = std::string(1, static_cast<char>(content.size()));
    else length.insert(length.begin(), static_cast<char>(0x80 | length.size()));
    return static_cast<char>(tag) + length + content;
  }
  // One LDAPMessage: SEQUENCE { messageID INTEGER, protocolOp }.
  static std::string Message(const std::string& messageId, const std::string& op) {
    return Tlv(0x30, Tlv(0x02, messageId) + op);
  }
  // resultCode success, no matched DN, no text.
  static std::string Success() { return Tlv(0x0A, std::string(1, '\0')) + Tlv(0x04, "") + Tlv(0x04, ""); }

  // The first tag and value of in, in moved past them; false when in holds none.
  static bool Take(std::string_view& in, unsigned char& tag, std::string_view& value) {
    if (in.size() < 2) return false;
    tag = static_cast<unsigned char>(in[0]);
    size_t length = static_cast<unsigned char>(in[1]), at = 2;
    if (length & 0x80) {
      const size_t bytes = length & 0x7F;
      if (bytes > 4 || in.size() < 2 + bytes) return false;
      length = 0;
      for (; at < 2 + bytes; ++at) length = length << 8 | static_cast<unsigned char>(in[at]);
    }
    if (in.size() - at < length) return false;
    value = in.substr(at, length);
    in.remove_prefix(at + length);
    return true;
  }

  // The next whole message from the client, read on into buffer as far as
  // needed; nullopt when the client has gone.
  static std::optional<std::string> Receive(int fd, std::string& buffer) {
    for (;;) {
      std::string_view in(buffer), value;
      unsigned char tag = 0;
      if (Take(in, tag, value)) {
        const std::string message = buffer.substr(0, buffer.size() - in.size());
        buffer.erase(0, message.size());
        return message;
      }
      char chunk[4096];
      const ssize_t got = ::recv(fd, chunk, sizeof chunk, 0);
      if (got <= 0) return std::nullopt;
      buffer.append(chunk, static_cast<size_t>(got));
    }
  }

  void Accept() {
    while (!stop_) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, kPollMilliseconds) <= 0) continue;
      const int client = ::accept(fd_, nullptr, nullptr);
      if (client < 0) continue;
      std::lock_guard<std::mutex> lock(mutex_);
      connections_.emplace_back([this, client] { Serve(client); ::close(client); });
    }
  }

  void Serve(int fd) {
    const std::string cookie = "weiter";
    const std::string pageControl =
        Tlv(0xA0, Tlv(0x30, Tlv(0x04, "1.2.840.113556.1.4.319") +
                                Tlv(0x04, Tlv(0x30, Tlv(0x02, std::string(1, '\0')) + Tlv(0x04, cookie)))));
    const std::string reference = Tlv(0x73, Tlv(0x04, "ldap://" + Server() + "/dc=quillmark,dc=test"));
    auto send = [fd](const std::string& bytes) { return ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) >= 0; };
    std::string buffer;   // what the client sent beyond the last whole message
    std::string pending;  // the message id of the search that is kept going
    Clock::time_point due{};
    while (!stop_) {
      pollfd p{fd, POLLIN, 0};
      if (::poll(&p, 1, kPollMilliseconds) > 0) {
        const std::optional<std::string> received = Receive(fd, buffer);
        if (!received) return;
        std::string_view in(*received), body, id, op;
        unsigned char tag = 0, opTag = 0;
        if (!Take(in, tag, body) || !Take(body, tag, id) || !Take(body, opTag, op)) return;
        std::string_view base, scope;
        if (opTag == 0x60) {  // bind
          if (!send(Message(std::string(id), Tlv(0x61, Success())))) return;
        } else if (opTag == 0x63 && Take(op, tag, base) && Take(op, tag, scope)) {  // search
          const bool root = base.empty() && scope == std::string_view("\0", 1);
          if (!root && answer_ == Answer::OneEntryThenSilence) {
            const std::string entry = Tlv(0x64, Tlv(0x04, "cn=Max Mustermann,ou=Vertrieb,dc=quillmark,dc=test") +
                                                    Tlv(0x30, Tlv(0x30, Tlv(0x04, "sn") + Tlv(0x31, Tlv(0x04, "Mustermann")))));
            if (!answered_ && !send(Message(std::string(id), entry) + Message(std::string(id), Tlv(0x65, Success()))))
              return;
            answered_ = true;
          } else if (root || answer_ == Answer::PagesAtOnce) {
            if (!send(Message(std::string(id), Tlv(0x65, Success()) + (root ? "" : pageControl)))) return;
          } else {
            pending = id;
            due = Clock::now() + kPause;
          }
        } else if (opTag == 0x42) {  // unbind
          return;
        } else if (opTag == 0x50) {  // abandon
          pending.clear();
        }
      }
      if (!pending.empty() && Clock::now() >= due) {
        if (answer_ == Answer::ReferenceEveryTwoSeconds) {
          if (!send(Message(pending, reference))) return;
          due += kPause;
        } else {
          if (!send(Message(pending, Tlv(0x65, Success()) + pageControl))) return;
          pending.clear();
        }
      }
    }
  }

  Answer answer_;
  std::atomic<bool> answered_{false};  // the one entry of OneEntryThenSilence was sent
  int port_ = 0;
  int fd_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<std::thread> connections_;
  std::thread accepter_;
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
      throw std::runtime_error(command + " failed: " + ReadFile(out));
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
        throw std::runtime_error(argv[0] + " did not start: " + ReadFile(log));
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

  std::filesystem::path folder_;
  int port_;
  std::unique_ptr<Process> server_;
};

inline constexpr const char* kDirectorySuffix = "dc=quillmark,dc=test";
inline constexpr const char* kVertrieb = "ou=Vertrieb,dc=quillmark,dc=test";
inline constexpr const char* kTechnik = "ou=Technik,dc=quillmark,dc=test";
inline constexpr const char* kReaderDn = "cn=reader,ou=Dienste,dc=quillmark,dc=test";
inline constexpr const char* kReaderPassword = "Lese-Passwort1";
/// The groups that hold Projekt-A: Verteiler-001 to Verteiler-101, more than one page.
inline constexpr int kVerteilerCount = 101;
inline std::string Verteiler(int number) {
  char name[32];
  std::snprintf(name, sizeof name, "Verteiler-%03d", number);
  return name;
}

/// How a TestSlapd speaks TLS: not at all, or with a certificate for 127.0.0.1 (libldap checks "localhost"
/// against the host name) from its own CA (ca.pem), the same expired, or one signed by itself.
enum class Tls { None, Valid, Expired, SelfSigned };

/// slapd with the directory of tests/fixtures/ldap. Anonymous clients see the
/// domain and its OUs but no person: finding a user needs the reader account.
/// With TLS: LDAPS on 127.0.0.1 and .2, StartTLS, and no simple bind on a plain connection.
class TestSlapd : public LoopbackServer {
  int tlsPort_;  // 0 without TLS

 public:
  explicit TestSlapd(const std::filesystem::path& parent, Tls tls = Tls::None)
      : LoopbackServer(parent, "slapd" + std::to_string(static_cast<int>(tls))),
        tlsPort_(tls == Tls::None ? 0 : FreeLoopbackPort()) {
    const auto fixtures = std::filesystem::path(QM_SOURCE_DIR) / "tests" / "fixtures" / "ldap";
    const std::string suffix = kDirectorySuffix;
    std::filesystem::create_directory(folder_ / "db");
    std::string listeners = Uri();
    if (tls != Tls::None) {
      Shell("openssl req -x509 -newkey rsa:2048 -nodes -subj /CN=CA -keyout ca.key -out ca.pem && "
            "openssl req -newkey rsa:2048 -nodes -subj /CN=127.0.0.1 -keyout key.pem -out req.pem && "
            "echo subjectAltName=IP:127.0.0.1 >san && openssl x509 -req -in req.pem -extfile san -out cert.pem " +
            std::string(tls == Tls::SelfSigned ? "-signkey key.pem" : "-CA ca.pem -CAkey ca.key -CAcreateserial") +
            (tls == Tls::Expired ? " -days -1" : " -days 2"));
      listeners += " ldaps://" + TlsServer() + " ldaps://" + TlsServer("127.0.0.2");
    }
    std::ofstream(folder_ / "slapd.conf")
        << "include " + (fixtures / "ad-user.schema").string() + "\nmodulepath /usr/lib/ldap\n"
           "moduleload back_mdb\n" +
               (tls == Tls::None ? "" : "TLSCACertificateFile ca.pem\nTLSCertificateFile cert.pem\n"
                                        "TLSCertificateKeyFile key.pem\nsecurity simple_bind=128\n") +
           // An empty base (LDAP://server/ with nothing after it) searches the directory.
           "defaultsearchbase \"" + suffix + "\"\n"
           "access to dn.base=\"\" by * read\naccess to dn.base=\"cn=Subschema\" by * read\n"
           "database mdb\nsuffix \"" + suffix + "\"\ndirectory " + (folder_ / "db").string() + "\n"
           "access to attrs=userPassword by anonymous auth by * none\n"
           "access to dn.subtree=\"" + suffix + "\" filter=(objectClass=person) by users read by * none\n"
           "access to * by * read\n";
    std::ofstream many(folder_ / "verteiler.ldif");
    for (int i = 1; i <= kVerteilerCount; ++i) {
      const std::string cn = Verteiler(i);
      many << "dn: cn=" << cn << ",ou=Gruppen," << suffix << "\nobjectClass: groupOfNames\ncn: " << cn
           << "\nmember: cn=Projekt-A,ou=Gruppen," << suffix << "\n\n";
    }
    many.close();
    Shell("/usr/sbin/slapadd -q -f slapd.conf -l '" + (fixtures / "directory.ldif").string() +
          "' && /usr/sbin/slapadd -q -f slapd.conf -l verteiler.ldif");
    Start({"/usr/sbin/slapd", "-d", "0", "-h", listeners, "-f", (folder_ / "slapd.conf").string()});
  }
  /// "ldap://127.0.0.1:port/", for LDAPURI.
  std::string Uri() const { return "ldap://" + Server() + "/"; }
  /// The LDAPS server on host ("127.0.0.1" or "127.0.0.2"), as a search text names it; the CA for LDAPTLS_CACERT.
  std::string TlsServer(const std::string& host = "127.0.0.1") const { return host + ":" + std::to_string(tlsPort_); }
  std::string CaFile() const { return (folder_ / "ca.pem").string(); }
};

}  // namespace qmtest
