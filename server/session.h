// Session: the conversation with one accepted client, from the raw codec at accept to the
// client's end: its codec, its read-ahead frame, its reply blocks. handle() answers one
// request with a Reply that a driver sends. serve() is the one-client run's driver: each
// request is read whole, then answered whole, blocking, before the next is read (run_server
// listens and accepts, then hands the client to a Session; ServeSession, the plug-in's
// output function, is run_server with the module's settings). ServingLoop drives several
// sessions at once, one per client.
#ifndef QUORVEL_SERVER_SESSION_H_
#define QUORVEL_SERVER_SESSION_H_

#include <cstdint>
#include <memory>
#include <optional>

#include "codecs/frame_codec.h"
#include "server/host_abi.h"
#include "server/reply.h"
#include "server/request_reader.h"
#include "server/server_settings.h"
#include "server/socket.h"
#include "wire/protocol.h"

namespace quorvel {

// Called right before a session asks the host for a frame or for audio: a fetch may reuse
// the memory the host handed out before, for this client or another.
struct FetchHook {
  void (*before_fetch)(void* context);
  void* context;
};

class Session {
 public:
  // REQUIRES: host, settings and the hook (when given) outlive the session.
  Session(const HostOutputInfo& host, const ServerSettings& settings,
          const FetchHook* hook = nullptr);
  // Ends the conversation: releases any encoded frame the codec still holds, then destroys
  // the codec.
  ~Session();

  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // The one-client request loop on a connected client socket: serves requests until
  // Disconnect, a failed receive or send, or an abort.
  void serve(net::SocketHandle client);

  // False when the raw codec could not be made at accept: the conversation cannot start.
  bool ready() const { return codec_ != nullptr; }

  enum class Outcome { kReply, kEnd };
  // Answers one request: kReply with the answer in *reply (empty when the request has
  // none), kEnd when the conversation ends here without one (Disconnect, a payload shorter
  // than its fields, a bad byte count, no frame from the host, no codec).
  // REQUIRES: ready(); reply is clear; no earlier reply of this session is still out.
  Outcome handle(const Request& request, Reply* reply);
  // After the reply of handle() has gone out (sent) or failed: gives the codec's output
  // back. Only a frame reply that went out whole leaves a read-ahead due.
  void reply_done(bool sent);

  // Whether the frame after the last one sent is still to be prepared.
  bool read_ahead_due() const { return read_ahead_.has_value(); }
  // Prepares that frame, when the read-ahead setting is on, for the next request; a host
  // that has no frame to give there leaves nothing prefetched.
  void read_ahead();

  // Copies what still points into the host's memory into the session's own: the unsent
  // rest of `reply` (null: none out) and a raw read-ahead frame. Called before the host is
  // asked on another client's behalf. False when there is no memory for the copy; the
  // conversation must then end.
  bool copy_host_memory(Reply* reply);

 private:
  bool read_request(net::SocketHandle client, RequestReader* reader);
  Outcome handle_stream_info(Reply* reply);
  Outcome handle_get_frame(const Request& request, Reply* reply);
  Outcome handle_get_audio(const Request& request, Reply* reply);
  Outcome handle_set_compression(const Request& request, Reply* reply);

  // Fetches frame n from the host and encodes it: the reply's record, with the codec's
  // output holding its payload; none when the host has no frame to give.
  std::optional<FrameInfoRecord> prepare_frame(int32_t frame_number);
  // The prefetched frame when it is frame n and read-ahead is on; otherwise drops it.
  std::optional<FrameInfoRecord> take_prefetched(int32_t frame_number);
  // Releases a prefetched frame's encoded bytes and forgets it.
  void drop_prefetched();
  // Lays out the reply for a prepared frame around the codec's output; false when its
  // payload size cannot be framed.
  bool frame_reply(const FrameInfoRecord& record, Reply* reply);
  void before_fetch() const;
  // Copies the reply's unsent bytes of that kind of host memory into the session's block.
  bool copy_unsent(Reply* reply, HostMemory memory);
  // The session's blocks for whole audio replies and for copies of the host's frames, each
  // grown to at least size bytes; null when it cannot be.
  uint8_t* audio_reply_block(int32_t size);
  uint8_t* frame_copy_block(int32_t size);

  const HostOutputInfo& host_;
  const ServerSettings& settings_;
  const FetchHook* const hook_;
  std::unique_ptr<FrameCodec> codec_;
  // The read-ahead's frame, encoded by the current codec and ready for the next request.
  std::optional<FrameInfoRecord> prefetched_;
  // The frame to read ahead once the reply of the frame before it is out.
  std::optional<int32_t> read_ahead_;
  // A frame reply is out: the codec's output goes back when it is done.
  bool frame_reply_out_ = false;
  uint8_t* audio_reply_ = nullptr;
  int32_t audio_reply_capacity_ = 0;
  uint8_t* frame_copy_ = nullptr;
  int32_t frame_copy_capacity_ = 0;
};

}  // namespace quorvel

#endif  // QUORVEL_SERVER_SESSION_H_
