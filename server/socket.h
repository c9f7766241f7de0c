// The sockets layer: the few operations the session needs, behind one seam.
// socket_posix.cc and socket_win32.cc implement it (CMake links one); tests link a scripted
// stand-in. No other server file includes a platform socket header, and no platform error
// code leaves the backends: transfers return bytes > 0, 0 when the peer closed, < 0 on error
// (kWouldBlock when the non-blocking client socket cannot take or give a byte now).
#ifndef QUORVEL_SERVER_SOCKET_H_
#define QUORVEL_SERVER_SOCKET_H_

#include <cstdint>

#include "server/listen_endpoint.h"

namespace quorvel::net {

using SocketHandle = intptr_t;
constexpr SocketHandle kInvalidSocket = -1;
// What send() returns when the client's socket buffer is full, and receive() when nothing
// has arrived; nothing was transferred.
constexpr int kWouldBlock = -2;

// Starts the platform's sockets library (Windows Sockets 2.0); false when it cannot.
bool startup();
void cleanup();

// Looks up a TCP service name; on success stores its port (host byte order) and returns true.
bool lookup_service_port(const char* name, uint16_t* port);
// Looks up the host name "localhost" (the session only checks that resolution works).
bool lookup_localhost();
// Looks up a host name; on success stores its first IPv4 address (host byte order) and
// returns true.
bool lookup_host_ipv4(const char* name, uint32_t* address);

SocketHandle open_stream_socket();
// Binds to the address (host byte order; 0 is every interface) and port.
bool bind_to(SocketHandle socket, uint32_t address, uint16_t port);
bool listen_on(SocketHandle socket, int backlog);
// The address and port a bound socket listens on (host byte order), {0, 0} when unknown.
ListenEndpoint local_endpoint(SocketHandle socket);

// Why the last lookup_host_ipv4(), bind_to() or listen_on() that failed failed, in the
// platform's words ("Cannot assign requested address"); empty before any failure.
const char* last_failure_text();

// True when a receive (or an accept) on the socket would not block, waiting at most
// timeout_ms milliseconds; 0 is a pure look. Errors count as not readable.
bool is_readable(SocketHandle socket, int timeout_ms);
// True when a send on the socket would take at least one byte without blocking, waiting at
// most timeout_ms milliseconds. A broken connection counts as writable (the send then fails).
bool is_writable(SocketHandle socket, int timeout_ms);

// One socket of a wait_for_sockets() call: what the caller waits for, and what it found.
struct SocketWait {
  SocketHandle socket;
  bool want_read;   // a receive (or, on a listener, an accept) that would not block
  bool want_write;  // a send that would take at least one byte
  bool readable;    // set by the call
  bool writable;    // set by the call
};
// The most sockets one wait_for_sockets() call takes.
constexpr int kMaxSocketWaits = 16;
// Waits on every socket at once, at most timeout_ms milliseconds (0 is a pure look), until
// one of them is ready as wanted, and marks each that is; a broken connection counts as
// ready for whatever was wanted (the next transfer then fails). Returns how many sockets
// are marked; an error marks none. REQUIRES: 0 < count <= kMaxSocketWaits.
int wait_for_sockets(SocketWait* sockets, int count, int timeout_ms);
// Accepts one connection and turns Nagle's algorithm off on it, so that the several sends
// of one reply do not wait for the client's delayed acknowledgement. The connection is
// non-blocking: a client that stops taking replies cannot hold a send, and with it the
// host, past an abort. A receive when nothing has arrived gives kWouldBlock.
SocketHandle accept_client(SocketHandle listener);

int receive(SocketHandle socket, uint8_t* buffer, int length);
int send(SocketHandle socket, const uint8_t* data, int length);
void close(SocketHandle socket);

void sleep_ms(int milliseconds);

// Owns one socket and closes it on every exit path.
class ScopedSocket {
 public:
  explicit ScopedSocket(SocketHandle handle = kInvalidSocket) : handle_(handle) {}
  ~ScopedSocket() { reset(); }
  ScopedSocket(ScopedSocket&& other) noexcept : handle_(other.handle_) {
    other.handle_ = kInvalidSocket;
  }
  ScopedSocket& operator=(ScopedSocket&& other) noexcept {
    if (this != &other) {
      reset(other.handle_);
      other.handle_ = kInvalidSocket;
    }
    return *this;
  }
  ScopedSocket(const ScopedSocket&) = delete;
  ScopedSocket& operator=(const ScopedSocket&) = delete;

  SocketHandle get() const { return handle_; }
  bool valid() const { return handle_ != kInvalidSocket; }
  void reset(SocketHandle handle = kInvalidSocket) {
    if (valid()) close(handle_);
    handle_ = handle;
  }

 private:
  SocketHandle handle_;
};

// Starts the sockets library and cleans it up when it goes out of scope.
class ScopedNetwork {
 public:
  ScopedNetwork() : started_(startup()) {}
  ~ScopedNetwork() {
    if (started_) cleanup();
  }
  ScopedNetwork(const ScopedNetwork&) = delete;
  ScopedNetwork& operator=(const ScopedNetwork&) = delete;

  bool started() const { return started_; }

 private:
  bool started_;
};

}  // namespace quorvel::net

#endif  // QUORVEL_SERVER_SOCKET_H_
