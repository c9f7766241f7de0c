#include "client/client_socket.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>

#include "util/io_piece.h"

namespace quorvel::client {

namespace {

void set_timeouts(int fd, int timeout_ms) {
  if (timeout_ms <= 0) return;
  timeval limit{};
  limit.tv_sec = timeout_ms / 1000;
  limit.tv_usec = static_cast<suseconds_t>(timeout_ms % 1000) * 1000;
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
}

// Requests are small and each goes out in one send: no reason to let Nagle hold one back.
void disable_nagle(int fd) {
  const int on = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

// *refused: the last candidate refused the connection (nothing listens there, or a
// quorvel-serve that is serving a client and so has no listener).
int connect_first(const addrinfo* candidates, int timeout_ms, std::string* error, bool* refused) {
  for (const addrinfo* candidate = candidates; candidate != nullptr;
       candidate = candidate->ai_next) {
    const int fd = ::socket(candidate->ai_family, candidate->ai_socktype, candidate->ai_protocol);
    if (fd < 0) {
      *error = std::strerror(errno);
      continue;
    }
    // The send limit bounds a blocking connect as well: past it, connect gives EINPROGRESS.
    set_timeouts(fd, timeout_ms);
    int result;
    do {
      result = ::connect(fd, candidate->ai_addr, candidate->ai_addrlen);
    } while (result != 0 && errno == EINTR);
    if (result == 0) return fd;
    *refused = errno == ECONNREFUSED;
    *error = errno == EINPROGRESS || errno == EAGAIN ? "timed out" : std::strerror(errno);
    ::close(fd);
  }
  return -1;
}

// Waits up to timeout_ms (0: not at all) for bytes to read, or for the end of the stream.
bool readable_within(int fd, int timeout_ms) {
  pollfd entry{fd, POLLIN, 0};
  int result;
  do {
    result = poll(&entry, 1, timeout_ms);
  } while (result < 0 && errno == EINTR);
  return result != 0;  // an error is left for the receive to report
}

}  // namespace

int timeout_ms_from_seconds(double seconds) {
  if (!(seconds > 0)) return 0;
  const double ms = std::ceil(seconds * 1000);
  return ms >= static_cast<double>(INT_MAX) ? INT_MAX : static_cast<int>(ms);
}

bool ClientSocket::connect(const std::string& host, const std::string& port, int timeout_ms,
                           std::string* error) {
  close();
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* candidates = nullptr;
  const int lookup = getaddrinfo(host.c_str(), port.c_str(), &hints, &candidates);
  if (lookup != 0) {
    *error = "cannot resolve " + host + ":" + port + ": " + gai_strerror(lookup);
    return false;
  }
  std::string reason = "no address";
  refused_ = false;
  fd_ = connect_first(candidates, timeout_ms, &reason, &refused_);
  freeaddrinfo(candidates);
  if (fd_ < 0) {
    *error = "cannot connect to " + host + ":" + port + ": " + reason;
    return false;
  }
  disable_nagle(fd_);
  return true;
}

void ClientSocket::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

IoResult ClientSocket::send_all(const uint8_t* data, uint64_t length) {
  if (fd_ < 0) return IoResult::kClosed;
  uint64_t sent = 0;
  while (sent < length) {
    // MSG_NOSIGNAL: a server that went away gives EPIPE here, not a signal.
    const ssize_t piece = ::send(fd_, data + sent, io_piece(length - sent), MSG_NOSIGNAL);
    if (piece > 0) {
      sent += static_cast<uint64_t>(piece);
    } else if (piece < 0 && errno == EINTR) {
      continue;
    } else if (piece < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      return IoResult::kTimedOut;
    } else if (piece < 0 && (errno == EPIPE || errno == ECONNRESET)) {
      return IoResult::kClosed;
    } else {
      last_error_ = std::strerror(errno);
      return IoResult::kError;
    }
  }
  return IoResult::kOk;
}

IoResult ClientSocket::receive_exactly(uint8_t* buffer, uint64_t length) {
  if (fd_ < 0) return IoResult::kClosed;
  uint64_t got = 0;
  while (got < length) {
    const Stop stop = stop_ != nullptr ? stop_() : Stop::kNone;
    if (stop != Stop::kNone && !readable_within(fd_, stop == Stop::kNow ? 0 : kStoppingWaitMs))
      return IoResult::kStopped;
    const ssize_t piece = ::recv(fd_, buffer + got, io_piece(length - got), 0);
    if (piece > 0) {
      got += static_cast<uint64_t>(piece);
    } else if (piece == 0) {
      return IoResult::kClosed;
    } else if (errno == EINTR) {
      continue;  // the stop check above decides whether to wait on
    } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
      return IoResult::kTimedOut;
    } else if (errno == ECONNRESET) {
      return IoResult::kClosed;
    } else {
      last_error_ = std::strerror(errno);
      return IoResult::kError;
    }
  }
  return IoResult::kOk;
}

}  // namespace quorvel::client
