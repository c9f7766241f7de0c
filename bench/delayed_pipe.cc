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

bool DelayedPipe::read_available(Clock::time_point now) {
  while (wants_input()) {
    const ssize_t got = ::recv(source_, read_buffer_.data(), read_buffer_.size(), 0);
    if (got < 0 && errno == EINTR) continue;
    if (would_block(got)) return true;
    if (got < 0) return false;
    if (got == 0) {
      source_open_ = false;
      return true;
    }
    const size_t length = static_cast<size_t>(got);
    chunks_.push_back({now + delay_, {read_buffer_.begin(), read_buffer_.begin() + got}, 0});
    queued_bytes_ += length;
  }
  return true;
}

bool DelayedPipe::write_released(Clock::time_point now) {
  destination_full_ = false;
  while (!chunks_.empty() && chunks_.front().release <= now) {
    Chunk& chunk = chunks_.front();
    const ssize_t sent = ::send(destination_, chunk.bytes.data() + chunk.written,
                                chunk.bytes.size() - chunk.written, MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (would_block(sent)) {
      destination_full_ = true;
      return true;
    }
    if (sent < 0) return false;
    chunk.written += static_cast<size_t>(sent);
    queued_bytes_ -= static_cast<size_t>(sent);
    if (chunk.written == chunk.bytes.size()) chunks_.pop_front();
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
