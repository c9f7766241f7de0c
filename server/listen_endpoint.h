// Where a serving run listens: an IPv4 address and a TCP port.
#ifndef QUORVEL_SERVER_LISTEN_ENDPOINT_H_
#define QUORVEL_SERVER_LISTEN_ENDPOINT_H_

#include <cstdint>

namespace quorvel {

// 0.0.0.0: every interface of the PC.
constexpr uint32_t kEveryInterface = 0;

struct ListenEndpoint {
  uint32_t ipv4;  // host byte order: 127.0.0.1 is 0x7f000001
  uint16_t port;  // host byte order; 0 lets the system choose
};

}  // namespace quorvel

#endif  // QUORVEL_SERVER_LISTEN_ENDPOINT_H_
