// Reply: the answer to one request as it goes out, described rather than sent: up to
// kMaxParts byte ranges, each sent whole in order, then a run of zero bytes. A range may
// point into the reply's own bytes (headers and records), a session's blocks (a codec's
// output, an assembled audio reply, a copy of the host's memory) or the host's own frame or
// audio. A range of no bytes counts as a failed send: the client's conversation ends there,
// as when a raw frame of no bytes follows its header and record.
//
// The drivers send it: send_reply_blocking() in pieces, waiting while the socket is full,
// as the one-client run does; send_reply_some() takes what the socket takes now and resumes
// at the next call, as the several-clients run does.
#ifndef QUORVEL_SERVER_REPLY_H_
#define QUORVEL_SERVER_REPLY_H_

#include <cstdint>

#include "server/host_abi.h"
#include "server/socket.h"
#include "wire/protocol.h"

namespace quorvel {

// The host's memory a range may point into, valid until the host's next fetch.
enum class HostMemory { kNone, kFrame, kAudio };

struct ReplyPart {
  const uint8_t* data;
  int32_t length;
};

enum class SendProgress { kDone, kSocketFull, kFailed };
class Reply;
SendProgress send_reply_some(net::SocketHandle socket, Reply* reply);

class Reply {
 public:
  static constexpr int kMaxParts = 3;
  // Room for a frame reply's header and record, the largest a reply keeps of its own.
  static constexpr int kOwnBytes = kHeaderSize + kFrameInfoSize;
  // Zeros go out in sends of at most this many bytes.
  static constexpr int32_t kZeroPieceSize = 65536;

  Reply() = default;
  // Parts may point into own(): a reply stays where it was built.
  Reply(const Reply&) = delete;
  Reply& operator=(const Reply&) = delete;

  // No parts, no zeros: a request without an answer.
  void clear();
  bool empty() const { return part_count_ == 0 && zero_bytes_ == 0; }

  // The reply's own bytes, for the headers and records its parts point into.
  uint8_t* own() { return own_; }
  // REQUIRES: fewer than kMaxParts parts so far.
  void add_part(const uint8_t* data, int32_t length, HostMemory memory = HostMemory::kNone);
  // After the parts, this many zero bytes (audio the host did not deliver).
  void set_zero_bytes(int32_t count) { zero_bytes_ = zeros_left_ = count; }
  // The reply's first send must take the whole 5-byte header, or the conversation ends
  // (audio replies: a client that is given part of a header cannot be answered again).
  void require_whole_header_first() { whole_header_first_ = true; }

  int part_count() const { return part_count_; }
  const ReplyPart& part(int index) const { return parts_[index]; }
  int32_t zero_bytes() const { return zero_bytes_; }
  bool whole_header_first() const { return whole_header_first_; }

  // The bytes of the host's memory of this kind that are still to go out: the part that
  // points there from the send position on. Empty when none does.
  ReplyPart unsent_host_bytes(HostMemory memory) const;
  // Points that unsent rest at `copy` instead, which holds the same bytes.
  void replace_unsent_host_bytes(HostMemory memory, const uint8_t* copy);

 private:
  friend SendProgress send_reply_some(net::SocketHandle socket, Reply* reply);

  ReplyPart parts_[kMaxParts] = {};
  HostMemory memory_[kMaxParts] = {};
  int part_count_ = 0;
  int32_t zero_bytes_ = 0;
  bool whole_header_first_ = false;
  // How far send_reply_some() got: the part (part_count_ for the zeros), the bytes of it
  // sent, the zeros still to go, and whether any byte has gone out.
  int next_part_ = 0;
  int32_t next_offset_ = 0;
  int32_t zeros_left_ = 0;
  bool started_ = false;
  uint8_t own_[kOwnBytes] = {};
};

// Sends the whole reply as the one-client run always has: each part through SendChunked
// (pieces, waits while the socket is full, polling is_aborted), a whole-header-first part
// by one send once the socket can take bytes, the zeros in parts of kZeroPieceSize.
// False when a part fails or goes out only in part (the host aborted, the client is gone).
bool send_reply_blocking(net::SocketHandle socket, const Reply& reply, HostIsAborted is_aborted);

// Sends what the non-blocking socket takes now, from where the last call stopped; kDone
// once the whole reply is out, kSocketFull when the rest has to wait until the socket is
// writable, kFailed when the conversation must end (the send failed, an empty part, a
// first send that did not take the whole header when the reply requires it).
SendProgress send_reply_some(net::SocketHandle socket, Reply* reply);

}  // namespace quorvel

#endif  // QUORVEL_SERVER_REPLY_H_
