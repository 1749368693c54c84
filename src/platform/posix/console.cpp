// The terminal on POSIX: standard output and standard error, in UTF-8.
#include "platform/console.h"

#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <string>

namespace qm::platform {
namespace {

// Writes all bytes; false when the descriptor refuses them (closed, a pipe
// whose reader has gone: with SIGPIPE ignored that is EPIPE, not the end of
// the process).
bool WriteAll(int fd, std::string_view bytes) {
  std::signal(SIGPIPE, SIG_IGN);
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace

bool Write(Stream stream, std::string_view utf8) {
  return WriteAll(stream == Stream::Output ? STDOUT_FILENO : STDERR_FILENO, utf8);
}

void WriteErrorLine(std::string_view utf8) { WriteAll(STDERR_FILENO, std::string(utf8) + "\n"); }

}  // namespace qm::platform
