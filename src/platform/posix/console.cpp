// Standard output and error on Linux: the text as it is, in UTF-8.
#include "platform/console.h"

#include <unistd.h>

#include <cerrno>

#include <string>

namespace qm::platform {

void WriteLine(Stream stream, std::string_view text) {
  const std::string line = std::string(text) + "\n";
  const int fd = stream == Stream::Output ? STDOUT_FILENO : STDERR_FILENO;
  std::size_t written = 0;
  while (written < line.size()) {
    const ssize_t n = ::write(fd, line.data() + written, line.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // a closed or full output: what was asked for is lost, the program goes on
    written += static_cast<std::size_t>(n);
  }
}

}  // namespace qm::platform
