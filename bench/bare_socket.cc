#include "bench/bare_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace quorvel::bench {

namespace {

void no_delay(int fd) {
  const int on = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

sockaddr_in loopback_address(uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  return address;
}

}  // namespace

BareSocket::~BareSocket() {
  if (fd_ >= 0) ::close(fd_);
}

BareSocket& BareSocket::operator=(BareSocket&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

BareSocket BareSocket::listen_loopback(uint16_t* port) {
  BareSocket socket(::socket(AF_INET, SOCK_STREAM, 0));
  if (!socket.valid()) return socket;
  sockaddr_in address = loopback_address(0);
  socklen_t size = sizeof address;
  if (::bind(socket.fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(socket.fd_, 1) != 0 ||
      getsockname(socket.fd_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    return BareSocket();
  }
  *port = ntohs(address.sin_port);
  return socket;
}

BareSocket BareSocket::accept_one() const {
  int fd;
  do {
    fd = ::accept(fd_, nullptr, nullptr);
  } while (fd < 0 && errno == EINTR);
  if (fd >= 0) no_delay(fd);
  return BareSocket(fd);
}

bool BareSocket::send_all(const uint8_t* data, uint64_t length) const {
  while (length > 0) {
    const ssize_t sent = ::send(fd_, data, length, MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    data += sent;
    length -= static_cast<uint64_t>(sent);
  }
  return true;
}

bool BareSocket::send_in_pieces(const uint8_t* data, uint64_t length, uint64_t piece) const {
  for (uint64_t offset = 0; offset < length; offset += piece) {
    const uint64_t left = length - offset;
    if (!send_all(data + offset, left < piece ? left : piece)) return false;
  }
  return true;
}

bool BareSocket::receive_exactly(uint8_t* buffer, uint64_t length) const {
  while (length > 0) {
    const ssize_t got = ::recv(fd_, buffer, length, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    buffer += got;
    length -= static_cast<uint64_t>(got);
  }
  return true;
}

}  // namespace quorvel::bench
