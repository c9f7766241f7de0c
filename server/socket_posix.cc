// POSIX backend of the sockets layer. poll() instead of select() so that any descriptor
// number works.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "server/socket.h"

namespace quorvel::net {

namespace {

int fd_of(SocketHandle socket) {
  return static_cast<int>(socket);
}

// True when poll() reports `events`, or a hang-up or error: the next transfer then returns
// at once (0 or an error).
bool poll_for(SocketHandle socket, short events, int timeout_ms) {
  pollfd entry{fd_of(socket), events, 0};
  int ready;
  do {
    ready = ::poll(&entry, 1, timeout_ms);
  } while (ready < 0 && errno == EINTR);
  return ready > 0 && (entry.revents & (events | POLLHUP | POLLERR)) != 0;
}

const char* failure_text = "";

// Keeps the reason of a failed call for last_failure_text(); returns false for the caller.
bool fail_with(const char* text) {
  failure_text = text;
  return false;
}

}  // namespace

bool startup() {
  return true;
}
void cleanup() {}

bool lookup_service_port(const char* name, uint16_t* port) {
  const servent* service = getservbyname(name, "tcp");
  if (service == nullptr) return false;
  *port = ntohs(static_cast<uint16_t>(service->s_port));
  return true;
}

bool lookup_localhost() {
  return gethostbyname("localhost") != nullptr;
}

bool lookup_host_ipv4(const char* name, uint32_t* address) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int status = getaddrinfo(name, nullptr, &hints, &found);
  if (status != 0) return fail_with(gai_strerror(status));
  const auto* first = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
  *address = ntohl(first->sin_addr.s_addr);
  freeaddrinfo(found);
  return true;
}

SocketHandle open_stream_socket() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  return fd < 0 ? kInvalidSocket : fd;
}

bool bind_to(SocketHandle socket, uint32_t ipv4, uint16_t port) {
  // Lets a new run listen again on the port of the last one while that one's connection
  // lingers in TIME_WAIT. Unlike on Windows, this never lets two listeners share a port.
  const int on = 1;
  setsockopt(fd_of(socket), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(ipv4);
  address.sin_port = htons(port);
  if (::bind(fd_of(socket), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
    return true;
  }
  return fail_with(std::strerror(errno));
}

bool listen_on(SocketHandle socket, int backlog) {
  return ::listen(fd_of(socket), backlog) == 0 || fail_with(std::strerror(errno));
}

ListenEndpoint local_endpoint(SocketHandle socket) {
  sockaddr_in address{};
  socklen_t size = sizeof address;
  if (getsockname(fd_of(socket), reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    return {0, 0};
  }
  return {ntohl(address.sin_addr.s_addr), ntohs(address.sin_port)};
}

const char* last_failure_text() {
  return failure_text;
}

bool is_readable(SocketHandle socket, int timeout_ms) {
  return poll_for(socket, POLLIN, timeout_ms);
}

bool is_writable(SocketHandle socket, int timeout_ms) {
  return poll_for(socket, POLLOUT, timeout_ms);
}

int wait_for_sockets(SocketWait* sockets, int count, int timeout_ms) {
  pollfd entries[kMaxSocketWaits];
  for (int i = 0; i < count; ++i) {
    const short events = static_cast<short>((sockets[i].want_read ? POLLIN : 0) |
                                            (sockets[i].want_write ? POLLOUT : 0));
    entries[i] = {fd_of(sockets[i].socket), events, 0};
  }
  int ready;
  do {
    ready = ::poll(entries, static_cast<nfds_t>(count), timeout_ms);
  } while (ready < 0 && errno == EINTR);
  int marked = 0;
  for (int i = 0; i < count; ++i) {
    const bool broken = ready > 0 && (entries[i].revents & (POLLHUP | POLLERR)) != 0;
    sockets[i].readable =
        sockets[i].want_read && ready > 0 && ((entries[i].revents & POLLIN) != 0 || broken);
    sockets[i].writable =
        sockets[i].want_write && ready > 0 && ((entries[i].revents & POLLOUT) != 0 || broken);
    marked += sockets[i].readable || sockets[i].writable ? 1 : 0;
  }
  return marked;
}

SocketHandle accept_client(SocketHandle listener) {
  int fd;
  do {
    fd = ::accept(fd_of(listener), nullptr, nullptr);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return kInvalidSocket;
  const int on = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  const int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) {
    ::close(fd);
    return kInvalidSocket;
  }
  return fd;
}

int receive(SocketHandle socket, uint8_t* buffer, int length) {
  ssize_t got;
  do {
    got = ::recv(fd_of(socket), buffer, static_cast<size_t>(length), 0);
  } while (got < 0 && errno == EINTR);
  if (got < 0) return errno == EAGAIN || errno == EWOULDBLOCK ? kWouldBlock : -1;
  return static_cast<int>(got);
}

int send(SocketHandle socket, const uint8_t* data, int length) {
  ssize_t sent;
  do {
    // MSG_NOSIGNAL: a client that vanished gives an error result, not SIGPIPE.
    sent = ::send(fd_of(socket), data, static_cast<size_t>(length), MSG_NOSIGNAL);
  } while (sent < 0 && errno == EINTR);
  if (sent < 0) return errno == EAGAIN || errno == EWOULDBLOCK ? kWouldBlock : -1;
  return static_cast<int>(sent);
}

void close(SocketHandle socket) {
  ::close(fd_of(socket));
}

void sleep_ms(int milliseconds) {
  timespec duration{milliseconds / 1000, static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&duration, &duration) != 0 && errno == EINTR) {
  }
}

}  // namespace quorvel::net
