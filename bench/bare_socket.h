// Plain loopback TCP for the benchmark's own server ends: the bare sender and ping-pong that
// anchor the session's figures, and the delay relay's listener. (The benchmark's client
// ends are the client library's ClientSocket.) Every socket has Nagle's algorithm off, as
// the session's has.
#ifndef QUORVEL_BENCH_BARE_SOCKET_H_
#define QUORVEL_BENCH_BARE_SOCKET_H_

#include <cstdint>

namespace quorvel::bench {

class BareSocket {
 public:
  BareSocket() = default;
  explicit BareSocket(int fd) : fd_(fd) {}
  ~BareSocket();
  BareSocket(BareSocket&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  BareSocket& operator=(BareSocket&& other) noexcept;
  BareSocket(const BareSocket&) = delete;
  BareSocket& operator=(const BareSocket&) = delete;

  // Listens on 127.0.0.1 with a port the system chooses; *port receives it.
  static BareSocket listen_loopback(uint16_t* port);
  BareSocket accept_one() const;

  bool valid() const { return fd_ >= 0; }
  // For callers that poll or set flags themselves; the socket still owns it.
  int descriptor() const { return fd_; }
  bool send_all(const uint8_t* data, uint64_t length) const;
  // Sends length bytes in pieces of at most piece bytes, one send call each.
  bool send_in_pieces(const uint8_t* data, uint64_t length, uint64_t piece) const;
  bool receive_exactly(uint8_t* buffer, uint64_t length) const;

 private:
  int fd_ = -1;
};

}  // namespace quorvel::bench

#endif  // QUORVEL_BENCH_BARE_SOCKET_H_
