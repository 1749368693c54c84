// The event log on Linux: syslog. The datagram is written here rather than by
// syslog(3), which always sends to /dev/log and drops a message it cannot
// deliver without a word: QUILLMARK_SYSLOG can name another socket, and a
// refused event comes back as an error the run can report.
#include "platform/eventlog.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/clock.h"
#include "platform/error.h"
#include "platform/posix/unique_fd.h"

namespace qm::platform::eventlog {
namespace {

constexpr const char* kDefaultSocket = "/dev/log";
// syslog's facility "user" and its priorities "err" and "info" (RFC 3164).
constexpr int kFacilityUser = 1 << 3;
constexpr int kPriorityError = 3;
constexpr int kPriorityInformation = 6;
// A syslog daemon that takes no datagram for this long is not waited for.
constexpr int kSendTimeoutMilliseconds = 2000;
// The time stamp of a syslog line names the month in English, whatever the locale.
constexpr std::array<const char*, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

std::string SocketPath() {
  const char* configured = std::getenv("QUILLMARK_SYSLOG");
  return configured != nullptr && *configured != '\0' ? configured : kDefaultSocket;
}

// The line glibc's syslog(3) sends: "<13>Mar  5 07:04:09 Quillmark[815]: text".
std::string SyslogLine(EventType type, const std::string& text) {
  const int priority = kFacilityUser + (type == EventType::Error ? kPriorityError : kPriorityInformation);
  const DateTime now = LocalDateTime();
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%s %2d %02d:%02d:%02d", kMonths[now.date.month - 1], now.date.day,
                now.hour, now.minute, now.second);
  return "<" + std::to_string(priority) + ">" + stamp + " " + kSource + "[" + std::to_string(::getpid()) +
         "]: " + text;
}

[[noreturn]] void Refused(const std::string& path, int error) {
  long number = err::kDeviceIo;
  std::string why;
  switch (error) {
    case ENOENT:
      number = err::kPathNotFound;
      why = "kein Systemprotokoll-Dienst an diesem Socket";
      break;
    case ECONNREFUSED:
      number = err::kDeviceIo;
      why = "der Systemprotokoll-Dienst nimmt keine Verbindung an";
      break;
    case EACCES:
    case EPERM:
      number = err::kPermissionDenied;
      why = "Zugriff verweigert";
      break;
    case EAGAIN:
      why = "der Systemprotokoll-Dienst nimmt nichts an";
      break;
    case ENAMETOOLONG:
      number = err::kPathFileAccess;
      why = "der Pfad des Sockets ist zu lang";
      break;
    default:
      why = "Systemfehler " + std::to_string(error);
      break;
  }
  throw err::FromPlatform(number, "Quillmark",
                          "Das Ereignis konnte nicht an das Systemprotokoll '" + path +
                              "' übergeben werden (" + why + ")");
}

}  // namespace

void Report(EventType type, std::uint16_t, const std::string& text) {
  const std::string path = SocketPath();
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) Refused(path, ENAMETOOLONG);
  std::memcpy(address.sun_path, path.data(), path.size());
  const posix::UniqueFd socket(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  if (!socket.valid()) Refused(path, errno);
  if (::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    Refused(path, errno);
  }
  const std::string line = SyslogLine(type, text);
  // A daemon whose queue is full makes a blocking send wait for it; the run
  // waits a little, then gives the event up.
  pollfd writable{socket.get(), POLLOUT, 0};
  if (::poll(&writable, 1, kSendTimeoutMilliseconds) <= 0) Refused(path, EAGAIN);
  if (::send(socket.get(), line.data(), line.size(), MSG_DONTWAIT | MSG_NOSIGNAL) < 0) Refused(path, errno);
}

}  // namespace qm::platform::eventlog
