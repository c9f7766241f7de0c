// BareClient: the benchmark's own client end. It sends the protocol's requests and reads
// each reply's bytes whole without checking or decoding them, so it costs as little as a
// client can; it drives the bare sender, the ping-pong and, for the round trips and the
// memory run, the session.
#ifndef QUORVEL_BENCH_BARE_CLIENT_H_
#define QUORVEL_BENCH_BARE_CLIENT_H_

#include <cstdint>
#include <vector>

#include "client/client_socket.h"

namespace quorvel::bench {

class BareClient {
 public:
  // Connects to 127.0.0.1:port.
  explicit BareClient(uint16_t port);

  bool connected() const { return socket_.connected(); }
  // GetFrame n, then the whole FrameReply.
  bool get_frame(int32_t frame_number);
  bool get_stream_info();
  // GetAudio of sample_count 16-bit stereo samples.
  bool get_audio(int32_t sample_count);
  // SetCompression with the mask, then the CompressionAck.
  bool set_compression(uint8_t mask);
  // Five bytes out, five bytes back (the ping-pong's whole exchange).
  bool ping();
  bool disconnect();

  // The compression field of the last frame reply.
  int32_t last_compression() const { return last_compression_; }
  // The bytes of the last reply as they came over the wire, header included.
  uint64_t last_reply_bytes() const;

 private:
  bool send(const uint8_t* bytes, uint64_t length);
  bool receive(uint8_t* bytes, uint64_t length);
  bool exchange(const uint8_t* request, int length);

  client::ClientSocket socket_;
  std::vector<uint8_t> reply_;
  int32_t last_compression_ = 0;
};

}  // namespace quorvel::bench

#endif  // QUORVEL_BENCH_BARE_CLIENT_H_
