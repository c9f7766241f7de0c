// Times several workloads side by side: each round runs every workload once, in turn, so a
// candidate and its anchor see the same machine (other developers' builds, frequency
// changes) and their ratio stays steady on a noisy machine even when the figures move.
#ifndef QUORVEL_BENCH_INTERLEAVED_TIMER_H_
#define QUORVEL_BENCH_INTERLEAVED_TIMER_H_

#include <functional>
#include <string>
#include <vector>

namespace quorvel::bench {

// One thing to time. run(round) is timed; reset(round), when set, runs untimed right after
// it (to restore an input that run() changed in place).
struct Workload {
  std::function<void(int round)> run;
  std::function<void(int round)> reset;
};

struct TimingBudget {
  int min_rounds = 5;
  int max_rounds = 200;
  double min_seconds = 0.5;  // all workloads together, not counting warm-up
};

// Runs one untimed warm-up round, then rounds until both min_rounds and min_seconds are
// reached (or max_rounds). Returns the median seconds of each workload, in order.
std::vector<double> time_interleaved(const std::vector<Workload>& workloads,
                                     const TimingBudget& budget);

double median(std::vector<double> values);

// Seconds on a monotonic clock, for the callers that time whole exchanges themselves.
double now_seconds();

}  // namespace quorvel::bench

#endif  // QUORVEL_BENCH_INTERLEAVED_TIMER_H_
