#include "server/send_chunked.h"

namespace quorvel {

int32_t SendChunked(net::SocketHandle socket, const uint8_t* data, int32_t length) {
  int32_t sent = 0;
  while (sent < length) {
    const int32_t piece = length - sent < kSendPieceSize ? length - sent : kSendPieceSize;
    const int result = net::send(socket, data + sent, piece);
    if (result <= 0) break;
    sent += result;
  }
  return sent;
}

}  // namespace quorvel
