// Session: the serving of one accepted client, from the raw codec at accept to the end of
// the run. Each request is read whole, then answered whole, before the next is read.
#ifndef QUORVEL_SERVER_SESSION_H_
#define QUORVEL_SERVER_SESSION_H_

#include <cstdint>
#include <memory>

#include "codecs/frame_codec.h"
#include "server/host_abi.h"
#include "server/protocol.h"
#include "server/server_settings.h"
#include "server/socket.h"

namespace quorvel {

class Session {
 public:
  // REQUIRES: client is a connected socket that outlives the session.
  Session(const HostOutputInfo& host, const ServerSettings& settings, net::SocketHandle client);
  // Ends the run: releases any encoded frame the codec still holds, then destroys the codec.
  ~Session();

  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Serves requests until Disconnect, a failed receive or send, or an abort.
  void serve();

 private:
  struct Request {
    int8_t command;
    int32_t payload_length;  // as the header declares it; only the first
                             // kReceiveBufferSize bytes are kept in payload_
  };

  // Each returns false when the run must end.
  bool receive_exactly(uint8_t* buffer, int32_t length);
  bool discard(int32_t length);
  bool read_request(Request* request);
  bool handle(const Request& request);
  bool handle_stream_info();
  bool handle_get_frame(const Request& request);
  bool handle_get_audio(const Request& request);
  bool handle_set_compression(const Request& request);

  // Fetches frame n from the host and encodes it into the current codec's output.
  bool prepare_frame(int32_t frame_number);
  bool send_frame_reply();
  bool send_part(const uint8_t* data, int32_t length);
  bool send_audio_data(const uint8_t* audio, int64_t audio_bytes, int32_t byte_count);
  // Releases a prefetched frame's encoded bytes and forgets it.
  void drop_prefetched();

  const HostOutputInfo& host_;
  const ServerSettings& settings_;
  const net::SocketHandle client_;
  std::unique_ptr<FrameCodec> codec_;
  bool has_prefetched_ = false;
  int32_t prefetched_frame_ = 0;
  FrameInfoRecord frame_info_;
  uint8_t payload_[kReceiveBufferSize];
};

}  // namespace quorvel

#endif  // QUORVEL_SERVER_SESSION_H_
