#include "port_holder.h"

#include <winsock2.h>

namespace harness {

PortHolder::PortHolder() : socket_(INVALID_SOCKET) {
  WSADATA data;
  started_ = WSAStartup(MAKEWORD(2, 0), &data) == 0;
  if (!started_) return;
  socket_ = ::socket(AF_INET, SOCK_STREAM, 0);
  if (socket_ == INVALID_SOCKET) return;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  address.sin_port = 0;
  int size = sizeof address;
  if (bind(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      listen(socket_, 1) != 0 ||
      getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    return;
  }
  port_ = ntohs(address.sin_port);
}

PortHolder::~PortHolder() {
  release();
  if (started_) WSACleanup();
}

void PortHolder::release() {
  if (socket_ != INVALID_SOCKET) closesocket(socket_);
  socket_ = INVALID_SOCKET;
}

}  // namespace harness
