// Windows Sockets backend of the sockets layer, on the functions WSOCK32.dll exports.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
// With WIN32_LEAN_AND_MEAN, windows.h leaves out the old winsock.h: either order works.
#include <windows.h>
#include <winsock2.h>

#include <cstring>

#include "server/socket.h"

namespace quorvel::net {

namespace {

SOCKET native(SocketHandle socket) {
  return static_cast<SOCKET>(socket);
}

SocketHandle wrap(SOCKET socket) {
  return socket == INVALID_SOCKET ? kInvalidSocket : static_cast<SocketHandle>(socket);
}

const char* failure_text = "";

// The words for the errors a user can cause with the port text; the rest get a general one.
const char* describe(int error) {
  switch (error) {
    case WSAEADDRNOTAVAIL:
      return "Cannot assign requested address";
    case WSAEADDRINUSE:
      return "Address already in use";
    case WSAEACCES:
      return "Permission denied";
    case WSAHOST_NOT_FOUND:
    case WSANO_DATA:
      return "Name or service not known";
    default:
      return "Windows Sockets error";
  }
}

// Keeps the reason of the failed call for last_failure_text(); returns false for the caller.
bool fail() {
  failure_text = describe(WSAGetLastError());
  return false;
}

}  // namespace

bool startup() {
  WSADATA data;
  return WSAStartup(MAKEWORD(2, 0), &data) == 0;
}

void cleanup() {
  WSACleanup();
}

bool lookup_service_port(const char* name, uint16_t* port) {
  const servent* service = getservbyname(name, "tcp");
  if (service == nullptr) return false;
  *port = ntohs(static_cast<u_short>(service->s_port));
  return true;
}

bool lookup_localhost() {
  return gethostbyname("localhost") != nullptr;
}

bool lookup_host_ipv4(const char* name, uint32_t* address) {
  const hostent* host = gethostbyname(name);
  if (host == nullptr) return fail();
  if (host->h_addrtype != AF_INET || host->h_length != 4 || host->h_addr_list[0] == nullptr) {
    failure_text = describe(WSANO_DATA);
    return false;
  }
  in_addr first;
  std::memcpy(&first, host->h_addr_list[0], sizeof first);
  *address = ntohl(first.s_addr);
  return true;
}

SocketHandle open_stream_socket() {
  return wrap(::socket(AF_INET, SOCK_STREAM, 0));
}

bool bind_to(SocketHandle socket, uint32_t ipv4, uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(ipv4);
  address.sin_port = htons(port);
  if (::bind(native(socket), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
    return true;
  }
  return fail();
}

bool listen_on(SocketHandle socket, int backlog) {
  return ::listen(native(socket), backlog) == 0 || fail();
}

ListenEndpoint local_endpoint(SocketHandle socket) {
  sockaddr_in address{};
  int size = sizeof address;
  if (getsockname(native(socket), reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    return {0, 0};
  }
  return {ntohl(address.sin_addr.s_addr), ntohs(address.sin_port)};
}

const char* last_failure_text() {
  return failure_text;
}

bool is_readable(SocketHandle socket, int timeout_ms) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(native(socket), &readable);
  timeval timeout{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
  // Only membership in the returned set counts; select's own result is not looked at.
  select(0, &readable, nullptr, nullptr, &timeout);
  return FD_ISSET(native(socket), &readable) != 0;
}

bool is_writable(SocketHandle socket, int timeout_ms) {
  fd_set writable;
  fd_set failed;
  FD_ZERO(&writable);
  FD_ZERO(&failed);
  FD_SET(native(socket), &writable);
  FD_SET(native(socket), &failed);
  timeval timeout{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
  select(0, nullptr, &writable, &failed, &timeout);
  return FD_ISSET(native(socket), &writable) != 0 || FD_ISSET(native(socket), &failed) != 0;
}

int wait_for_sockets(SocketWait* sockets, int count, int timeout_ms) {
  fd_set readable;
  fd_set writable;
  fd_set failed;
  FD_ZERO(&readable);
  FD_ZERO(&writable);
  FD_ZERO(&failed);
  for (int i = 0; i < count; ++i) {
    if (sockets[i].want_read) FD_SET(native(sockets[i].socket), &readable);
    if (sockets[i].want_write) {
      FD_SET(native(sockets[i].socket), &writable);
      FD_SET(native(sockets[i].socket), &failed);
    }
  }
  timeval timeout{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
  // As in is_readable(): only membership in the returned sets counts. A reset connection
  // shows in the read set; a failed one, for a socket waiting to send, in the third.
  select(0, &readable, &writable, &failed, &timeout);
  int marked = 0;
  for (int i = 0; i < count; ++i) {
    const SOCKET socket = native(sockets[i].socket);
    sockets[i].readable = sockets[i].want_read && FD_ISSET(socket, &readable) != 0;
    sockets[i].writable = sockets[i].want_write &&
                          (FD_ISSET(socket, &writable) != 0 || FD_ISSET(socket, &failed) != 0);
    marked += sockets[i].readable || sockets[i].writable ? 1 : 0;
  }
  return marked;
}

SocketHandle accept_client(SocketHandle listener) {
  const SOCKET client = ::accept(native(listener), nullptr, nullptr);
  if (client == INVALID_SOCKET) return kInvalidSocket;
  const BOOL on = TRUE;
  setsockopt(client, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
  u_long non_blocking = 1;
  if (ioctlsocket(client, FIONBIO, &non_blocking) != 0) {
    closesocket(client);
    return kInvalidSocket;
  }
  return wrap(client);
}

int receive(SocketHandle socket, uint8_t* buffer, int length) {
  const int got = ::recv(native(socket), reinterpret_cast<char*>(buffer), length, 0);
  if (got != SOCKET_ERROR) return got;
  return WSAGetLastError() == WSAEWOULDBLOCK ? kWouldBlock : -1;
}

int send(SocketHandle socket, const uint8_t* data, int length) {
  const int sent = ::send(native(socket), reinterpret_cast<const char*>(data), length, 0);
  if (sent != SOCKET_ERROR) return sent;
  return WSAGetLastError() == WSAEWOULDBLOCK ? kWouldBlock : -1;
}

void close(SocketHandle socket) {
  closesocket(native(socket));
}

void sleep_ms(int milliseconds) {
  Sleep(static_cast<DWORD>(milliseconds));
}

}  // namespace quorvel::net
