// FetchProgress: the client's progress line on stderr, in x264's manner, updated in place
// at most four times a second and ended with a newline:
//   [ 42.0%] 126/300 frames, 98.12 fps, 84.30 MB/s, eta 0:00:01
#ifndef QUORVEL_APPS_FETCH_FETCH_PROGRESS_H_
#define QUORVEL_APPS_FETCH_FETCH_PROGRESS_H_

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

namespace quorvel::client {

class FetchProgress {
 public:
  // Prints nothing when disabled.
  explicit FetchProgress(bool enabled, std::FILE* out = stderr);

  // Sets the number of frames to come (known once the stream info is in) and starts the clock.
  void start(int64_t total_frames);

  void update(int64_t frames_done, uint64_t bytes_received);
  // Prints the last state and the newline, once.
  void finish(int64_t frames_done, uint64_t bytes_received);

  // The line for a given state, without \r or \n.
  static std::string format_line(int64_t frames_done, int64_t total_frames, double seconds,
                                 uint64_t bytes_received);

 private:
  void print(int64_t frames_done, uint64_t bytes_received);

  using Clock = std::chrono::steady_clock;
  const bool enabled_;
  int64_t total_frames_ = 0;
  std::FILE* const out_;
  Clock::time_point start_;
  Clock::time_point last_print_;
  bool printed_ = false;
  bool finished_ = false;
};

}  // namespace quorvel::client

#endif  // QUORVEL_APPS_FETCH_FETCH_PROGRESS_H_
