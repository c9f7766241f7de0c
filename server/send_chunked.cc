#include "server/send_chunked.h"

namespace quorvel {

bool wait_until_writable(net::SocketHandle socket, HostIsAborted is_aborted) {
  while (!net::is_writable(socket, kSendWaitMs)) {
    if (is_aborted != nullptr && is_aborted() != 0) return false;
  }
  return true;
}

int32_t SendChunked(net::SocketHandle socket, const uint8_t* data, int32_t length,
                    HostIsAborted is_aborted) {
  int32_t sent = 0;
  while (sent < length) {
    const int32_t piece = length - sent < kSendPieceSize ? length - sent : kSendPieceSize;
    const int result = net::send(socket, data + sent, piece);
    if (result == net::kWouldBlock) {
      if (!wait_until_writable(socket, is_aborted)) break;
      continue;
    }
    if (result <= 0) break;
    sent += result;
  }
  return sent;
}

}  // namespace quorvel
