// ServeProgress: the stand-in host's display of the host's progress callback, one line on
// stderr updated in place at most four times a second ("frame 120 of 3000, 29.9 fps", the
// frame counted from 1).
#ifndef QUORVEL_APPS_SERVE_SERVE_PROGRESS_H_
#define QUORVEL_APPS_SERVE_SERVE_PROGRESS_H_

#include <chrono>
#include <cstdint>
#include <cstdio>

#include "apps/serve/stand_in_host.h"

namespace quorvel::serve {

class ServeProgress {
 public:
  ServeProgress(bool enabled, const char* program, std::FILE* out = stderr);

  // The listener to hand to the host; it calls on_frame.
  const ProgressListener* listener() const { return &listener_; }
  void on_frame(int32_t frame_number, int32_t frame_count);
  // Ends the line of a run, if one was printed, with the run's last frame and its rate,
  // and starts counting afresh.
  void end_run();

 private:
  using Clock = std::chrono::steady_clock;
  // The line for the latest frame, rated over the frames since the run's first.
  void print();

  const bool enabled_;
  const char* const program_;
  std::FILE* const out_;
  ProgressListener listener_;
  Clock::time_point start_;
  Clock::time_point last_print_;
  Clock::time_point last_frame_;
  int32_t frame_number_ = 0;  // of the latest frame
  int32_t frame_count_ = 0;
  int64_t frames_ = 0;
  bool printed_ = false;
};

}  // namespace quorvel::serve

#endif  // QUORVEL_APPS_SERVE_SERVE_PROGRESS_H_
