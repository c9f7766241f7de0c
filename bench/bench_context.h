// What every section of a quorvel-bench run shares: the frames, the mode, and the budget
// each measurement may spend.
#ifndef QUORVEL_BENCH_BENCH_CONTEXT_H_
#define QUORVEL_BENCH_BENCH_CONTEXT_H_

#include <string>
#include <vector>

#include "bench/bench_frame.h"
#include "bench/child_modes.h"
#include "bench/frame_ring.h"
#include "bench/interleaved_timer.h"

namespace quorvel::bench {

struct BenchContext {
  std::vector<BenchFrame> frames;
  std::string frames_dir;
  std::string self_path;  // this program, started again for the server-side processes
  bool quick = false;
  bool smoke = false;   // one tiny round of everything, checking results, no figures judged
  int server_cpu = -1;  // where the server processes run; -1 leaves them unpinned
  // The plug-in section: quorvel.auo, the 32-bit host harness, and wine to run it with.
  std::string plugin_path;
  std::string harness_path;
  std::string wine_path;

  // A server role of this run, on the server CPU, finding its frames where the run does.
  ChildOptions child_options(const char* mode, const std::string& frame = "") const {
    ChildOptions options;
    options.mode = mode;
    options.frame = frame;
    options.frames_dir = frames_dir;
    options.cpu = server_cpu;
    return options;
  }

  TimingBudget codec_budget() const {
    if (smoke) return {1, 1, 0.0};
    if (quick) return {5, 40, 0.25};
    return {15, 400, 2.0};
  }
  // Cache states measured: both in a full run; the quick run keeps cold (what the targets
  // are judged on) except for the cheap filter, which gets both.
  std::vector<CacheState> cache_states(bool cheap) const {
    if (smoke) return {CacheState::kHot};  // tiny frames sit in cache anyway
    if (quick && !cheap) return {CacheState::kCold};
    return {CacheState::kCold, CacheState::kHot};
  }
};

// Targets are judged at 1080p on cold caches only; other rows are for orientation.
inline bool judged(const BenchFrame& frame, CacheState cache) {
  return frame.is_1080p() && cache == CacheState::kCold;
}

}  // namespace quorvel::bench

#endif  // QUORVEL_BENCH_BENCH_CONTEXT_H_
