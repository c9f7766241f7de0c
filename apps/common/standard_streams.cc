#include "apps/common/standard_streams.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace quorvel::apps {

namespace {

// Descriptors are handed out lowest first, so opening /dev/null while `fd` is free gives
// `fd` itself; 0, 1 and 2 are taken in order, each below the next.
bool reopen_if_closed(int fd, int flags) {
  if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) return false;
  const int opened = open("/dev/null", flags);
  if (opened >= 0 && opened != fd) close(opened);
  return true;
}

}  // namespace

ClosedStandardStreams open_closed_standard_streams() {
  ClosedStandardStreams closed;
  closed.input = reopen_if_closed(STDIN_FILENO, O_RDONLY);
  closed.output = reopen_if_closed(STDOUT_FILENO, O_WRONLY);
  closed.error = reopen_if_closed(STDERR_FILENO, O_WRONLY);
  return closed;
}

}  // namespace quorvel::apps
