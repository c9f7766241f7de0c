#include "bench/delayed_pipe.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace quorvel::bench {

namespace {

bool would_block(ssize_t result) {
  return result < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
}

}  // namespace

std::unique_ptr<uint8_t[]> DelayedPipe::take_buffer() {
  if (spare_buffers_.empty()) return std::unique_ptr<uint8_t[]>(new uint8_t[kReadSize]);
  std::unique_ptr<uint8_t[]> buffer = std::move(spare_buffers_.back());
  spare_buffers_.pop_back();
  return buffer;
}

bool DelayedPipe::read_available(Clock::time_point now) {
  while (wants_input()) {
    if (next_buffer_ == nullptr) next_buffer_ = take_buffer();
    const ssize_t got = ::recv(source_, next_buffer_.get(), kReadSize, 0);
    if (got < 0 && errno == EINTR) continue;
    if (would_block(got)) return true;
    if (got < 0) return false;
    if (got == 0) {
      source_open_ = false;
      return true;
    }
    const size_t length = static_cast<size_t>(got);
    chunks_.push_back({now + delay_, std::move(next_buffer_), length, 0});
    queued_bytes_ += length;
  }
  return true;
}

bool DelayedPipe::write_released(Clock::time_point now) {
  destination_full_ = false;
  while (!chunks_.empty() && chunks_.front().release <= now) {
    Chunk& chunk = chunks_.front();
    const ssize_t sent = ::send(destination_, chunk.buffer.get() + chunk.written,
                                chunk.length - chunk.written, MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (would_block(sent)) {
      destination_full_ = true;
      return true;
    }
    if (sent < 0) return false;
    chunk.written += static_cast<size_t>(sent);
    queued_bytes_ -= static_cast<size_t>(sent);
    if (chunk.written == chunk.length) {
      spare_buffers_.push_back(std::move(chunk.buffer));
      chunks_.pop_front();
    }
  }
  // The far end learns of the source's end only after the last delayed byte.
  if (finished() && !destination_shut_) {
    ::shutdown(destination_, SHUT_WR);
    destination_shut_ = true;
  }
  return true;
}

bool DelayedPipe::waits_for_time(Clock::time_point now) const {
  return !destination_full_ && !chunks_.empty() && chunks_.front().release > now;
}

}  // namespace quorvel::bench
