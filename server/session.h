// Session: the conversation with one accepted client, from the raw codec at accept to the
// client's end. (run_server listens and accepts, then hands the client to a Session;
// serve() is the Session's request loop; ServeSession, the plug-in's output function, is
// run_server with the module's settings.) Each request is read whole, then answered whole,
// before the next is read.
#ifndef QUORVEL_SERVER_SESSION_H_
#define QUORVEL_SERVER_SESSION_H_

#include <cstdint>
#include <memory>
#include <optional>

#include "codecs/frame_codec.h"
#include "server/host_abi.h"
#include "server/server_settings.h"
#include "server/socket.h"
#include "wire/protocol.h"

namespace quorvel {

class Session {
 public:
  // Request payloads are kept up to this many bytes; the rest of a longer one is read and
  // dropped. No request the server understands needs more, and none needs an allocation.
  static constexpr int32_t kReceiveBufferSize = 1024;

  // REQUIRES: client is a connected socket that outlives the session.
  Session(const HostOutputInfo& host, const ServerSettings& settings, net::SocketHandle client);
  // Ends the conversation: releases any encoded frame the codec still holds, then destroys
  // the codec.
  ~Session();

  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // The request loop: serves requests until Disconnect, a failed receive or send, or an abort.
  void serve();

 private:
  struct Request {
    int8_t command = 0;
    int32_t payload_length = 0;           // as the header declares it
    uint8_t payload[kReceiveBufferSize];  // its first min(payload_length, kReceiveBufferSize) bytes
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

  // Fetches frame n from the host and encodes it: the reply's record, with the codec's
  // output holding its payload; none when the host has no frame to give.
  std::optional<FrameInfoRecord> prepare_frame(int32_t frame_number);
  // The prefetched frame when it is frame n and read-ahead is on; otherwise drops it.
  std::optional<FrameInfoRecord> take_prefetched(int32_t frame_number);
  // Releases a prefetched frame's encoded bytes and forgets it.
  void drop_prefetched();
  // Sends the reply for a prepared frame, then releases the codec's output.
  bool send_frame_reply(const FrameInfoRecord& record);
  bool send_part(const uint8_t* data, int32_t length);
  bool send_audio_data(const uint8_t* audio, int64_t audio_bytes, int32_t byte_count);
  // Sends an assembled audio reply of size bytes.
  bool send_audio_reply(const uint8_t* reply, int32_t size);
  // The session's block for whole audio replies, grown to at least size bytes; null when it
  // cannot be.
  uint8_t* audio_reply_block(int32_t size);

  const HostOutputInfo& host_;
  const ServerSettings& settings_;
  const net::SocketHandle client_;
  std::unique_ptr<FrameCodec> codec_;
  // The read-ahead's frame, encoded by the current codec and ready for the next request.
  std::optional<FrameInfoRecord> prefetched_;
  uint8_t* audio_reply_ = nullptr;
  int32_t audio_reply_capacity_ = 0;
};

}  // namespace quorvel

#endif  // QUORVEL_SERVER_SESSION_H_
