// SendChunked: sends one buffer on the client socket in pieces of at most kSendPieceSize
// bytes, waiting while the socket is full.
#ifndef QUORVEL_SERVER_SEND_CHUNKED_H_
#define QUORVEL_SERVER_SEND_CHUNKED_H_

#include <cstdint>

#include "server/host_abi.h"
#include "server/socket.h"

namespace quorvel {

// Large enough that a 1080p frame goes out in one call: under Wine every send() is a round
// trip through its server process (about 150 us), so 64 KiB pieces made a raw 1080p frame
// cost 12.6 ms against 3 ms in one piece. TCP is a stream: nothing on the wire depends on it.
constexpr int32_t kSendPieceSize = 4 << 20;
// How long one look at a full client socket waits before the host's abort is polled again.
constexpr int kSendWaitMs = 10;

// Waits until the socket can take bytes, polling is_aborted (when given) between looks of
// kSendWaitMs. Returns false when the host aborted first.
bool wait_until_writable(net::SocketHandle socket, HostIsAborted is_aborted);

// Returns the number of bytes sent: length when every piece went out, 0 for a length of 0
// or when the first piece fails, the bytes sent so far when a later one fails. While the
// client takes no bytes, it waits as wait_until_writable does and stops when the host aborts.
int32_t SendChunked(net::SocketHandle socket, const uint8_t* data, int32_t length,
                    HostIsAborted is_aborted);

}  // namespace quorvel

#endif  // QUORVEL_SERVER_SEND_CHUNKED_H_
