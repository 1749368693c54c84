// The terminal on POSIX: standard output and standard error, in UTF-8.
#include "platform/console.h"

#include <unistd.h>

#include <csignal>
#include <string>

#include "platform/posix/unique_fd.h"

namespace qm::platform {
namespace {

// Writes all bytes; false when the descriptor refuses them (closed, a pipe
// whose reader has gone: with SIGPIPE ignored that is EPIPE, not the end of
// the process).
bool WriteAll(int fd, std::string_view bytes) {
  std::signal(SIGPIPE, SIG_IGN);
  return posix::WriteAll(fd, bytes);
}

}  // namespace

bool Write(Stream stream, std::string_view utf8) {
  return WriteAll(stream == Stream::Output ? STDOUT_FILENO : STDERR_FILENO, utf8);
}

void WriteErrorLine(std::string_view utf8) { WriteAll(STDERR_FILENO, std::string(utf8) + "\n"); }

}  // namespace qm::platform
