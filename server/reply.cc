#include "server/reply.h"

#include "server/send_chunked.h"

namespace quorvel {

namespace {

const uint8_t kZeros[Reply::kZeroPieceSize] = {};

// One part through SendChunked: false unless every byte went out. An empty part counts as
// failed, and so does one sent only in part (a broken connection, or the host aborted while
// the client was not reading): nothing after it may touch the host again.
bool send_part(net::SocketHandle socket, const uint8_t* data, int32_t length,
               HostIsAborted is_aborted) {
  const int32_t sent = SendChunked(socket, data, length, is_aborted);
  return sent > 0 && sent == length;
}

// Once the socket can take bytes, the first send must take the whole header; the rest of
// the part then goes as any part does.
bool send_whole_header_first(net::SocketHandle socket, const ReplyPart& part,
                             HostIsAborted is_aborted) {
  if (!wait_until_writable(socket, is_aborted)) return false;
  const int first =
      net::send(socket, part.data, part.length < kSendPieceSize ? part.length : kSendPieceSize);
  if (first < kHeaderSize) return false;
  return first == part.length ||
         send_part(socket, part.data + first, part.length - first, is_aborted);
}

}  // namespace

void Reply::clear() {
  part_count_ = 0;
  zero_bytes_ = 0;
  whole_header_first_ = false;
  next_part_ = 0;
  next_offset_ = 0;
  zeros_left_ = 0;
  started_ = false;
}

void Reply::add_part(const uint8_t* data, int32_t length, HostMemory memory) {
  parts_[part_count_] = {data, length};
  memory_[part_count_] = memory;
  ++part_count_;
}

ReplyPart Reply::unsent_host_bytes(HostMemory memory) const {
  for (int i = next_part_; i < part_count_; ++i) {
    if (memory_[i] != memory) continue;
    const int32_t from = i == next_part_ ? next_offset_ : 0;
    return {parts_[i].data + from, parts_[i].length - from};
  }
  return {nullptr, 0};
}

void Reply::replace_unsent_host_bytes(HostMemory memory, const uint8_t* copy) {
  for (int i = next_part_; i < part_count_; ++i) {
    if (memory_[i] != memory) continue;
    if (i == next_part_) {
      parts_[i].length -= next_offset_;
      next_offset_ = 0;
    }
    parts_[i].data = copy;
    memory_[i] = HostMemory::kNone;
    return;
  }
}

bool send_reply_blocking(net::SocketHandle socket, const Reply& reply, HostIsAborted is_aborted) {
  for (int i = 0; i < reply.part_count(); ++i) {
    const bool sent = i == 0 && reply.whole_header_first()
                          ? send_whole_header_first(socket, reply.part(i), is_aborted)
                          : send_part(socket, reply.part(i).data, reply.part(i).length, is_aborted);
    if (!sent) return false;
  }
  for (int32_t left = reply.zero_bytes(); left > 0;) {
    const int32_t piece = left < Reply::kZeroPieceSize ? left : Reply::kZeroPieceSize;
    if (!send_part(socket, kZeros, piece, is_aborted)) return false;
    left -= piece;
  }
  return true;
}

SendProgress send_reply_some(net::SocketHandle socket, Reply* reply) {
  for (;;) {
    const uint8_t* data;
    int32_t left;
    if (reply->next_part_ < reply->part_count_) {
      const ReplyPart& part = reply->parts_[reply->next_part_];
      if (part.length <= 0) return SendProgress::kFailed;
      data = part.data + reply->next_offset_;
      left = part.length - reply->next_offset_;
    } else if (reply->zeros_left_ > 0) {
      data = kZeros;
      left =
          reply->zeros_left_ < Reply::kZeroPieceSize ? reply->zeros_left_ : Reply::kZeroPieceSize;
    } else {
      return SendProgress::kDone;
    }
    const int sent = net::send(socket, data, left < kSendPieceSize ? left : kSendPieceSize);
    if (sent == net::kWouldBlock) return SendProgress::kSocketFull;
    if (sent <= 0) return SendProgress::kFailed;
    if (!reply->started_ && reply->whole_header_first_ && sent < kHeaderSize) {
      return SendProgress::kFailed;
    }
    reply->started_ = true;
    if (reply->next_part_ < reply->part_count_) {
      reply->next_offset_ += sent;
      if (reply->next_offset_ == reply->parts_[reply->next_part_].length) {
        ++reply->next_part_;
        reply->next_offset_ = 0;
      }
    } else {
      reply->zeros_left_ -= sent;
    }
  }
}

}  // namespace quorvel
