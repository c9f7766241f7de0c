// SendChunked: sends one buffer on the client socket in pieces of at most 65,536 bytes.
#ifndef QUORVEL_SERVER_SEND_CHUNKED_H_
#define QUORVEL_SERVER_SEND_CHUNKED_H_

#include <cstdint>

#include "server/socket.h"

namespace quorvel {

constexpr int32_t kSendPieceSize = 65536;

// Returns the number of bytes sent: length when every piece went out, 0 for a length of 0
// or when the first piece fails, the bytes sent so far when a later one fails.
int32_t SendChunked(net::SocketHandle socket, const uint8_t* data, int32_t length);

}  // namespace quorvel

#endif  // QUORVEL_SERVER_SEND_CHUNKED_H_
