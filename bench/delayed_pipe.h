// DelayedPipe: one direction of the delay relay. What it reads from its source waits in a
// queue stamped with its arrival time and goes to its destination no earlier than that time
// plus the delay, in order, so the direction adds the delay and keeps the bytes' spacing.
// Both ends are non-blocking sockets that the pipe does not own.
#ifndef QUORVEL_BENCH_DELAYED_PIPE_H_
#define QUORVEL_BENCH_DELAYED_PIPE_H_

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

namespace quorvel::bench {

class DelayedPipe {
 public:
  using Clock = std::chrono::steady_clock;

  DelayedPipe(int source, int destination, Clock::duration delay)
      : source_(source), destination_(destination), delay_(delay) {}

  // Reads whatever the source has now; false when the source failed.
  bool read_available(Clock::time_point now);
  // Writes every chunk whose release time has come, as far as the destination takes it, and
  // half-closes the destination once the source has ended and the queue is empty; false
  // when the destination failed.
  bool write_released(Clock::time_point now);

  // Whether to poll the source: it is open and the queue is below its cap, so a slow
  // destination holds the sender back instead of growing the queue.
  bool wants_input() const { return source_open_ && queued_bytes_ < kQueueCap; }
  // Whether to poll the destination: the last write stopped because it was full.
  bool waits_for_room() const { return destination_full_; }
  // Whether a chunk waits for its release time (and not for room); next_release() tells when.
  bool waits_for_time(Clock::time_point now) const;
  Clock::time_point next_release() const { return chunks_.front().release; }
  // The source has ended and everything it sent has been written.
  bool finished() const { return !source_open_ && chunks_.empty(); }

 private:
  static constexpr size_t kReadSize = 256 * 1024;
  static constexpr size_t kQueueCap = 32u * 1024 * 1024;

  // A read's bytes in a buffer of kReadSize; written buffers go back to spare_buffers_, so
  // steady forwarding reads straight into memory that is already mapped.
  struct Chunk {
    Clock::time_point release;
    std::unique_ptr<uint8_t[]> buffer;
    size_t length = 0;
    size_t written = 0;
  };

  std::unique_ptr<uint8_t[]> take_buffer();

  const int source_;
  const int destination_;
  const Clock::duration delay_;
  std::deque<Chunk> chunks_;
  size_t queued_bytes_ = 0;
  bool source_open_ = true;
  bool destination_full_ = false;
  bool destination_shut_ = false;
  std::unique_ptr<uint8_t[]> next_buffer_;  // read into, then handed to a chunk
  std::vector<std::unique_ptr<uint8_t[]>> spare_buffers_;
};

}  // namespace quorvel::bench

#endif  // QUORVEL_BENCH_DELAYED_PIPE_H_
