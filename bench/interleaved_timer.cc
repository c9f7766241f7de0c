#include "bench/interleaved_timer.h"

#include <algorithm>
#include <chrono>

namespace quorvel::bench {

double now_seconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double median(std::vector<double> values) {
  if (values.empty()) return 0.0;
  const size_t middle = values.size() / 2;
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(middle),
                   values.end());
  const double upper = values[middle];
  if (values.size() % 2 != 0) return upper;
  return (upper +
          *std::max_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(middle))) /
         2;
}

std::vector<double> time_interleaved(const std::vector<Workload>& workloads,
                                     const TimingBudget& budget) {
  // The warm-up round pays for first-touch page faults and the heap's first growth; it is
  // round -1 so that cold rings still meet every timed slot for the first time.
  for (const Workload& workload : workloads) {
    workload.run(-1);
    if (workload.reset) workload.reset(-1);
  }
  std::vector<std::vector<double>> samples(workloads.size());
  double spent = 0.0;
  for (int round = 0; round < budget.max_rounds; ++round) {
    if (round >= budget.min_rounds && spent >= budget.min_seconds) break;
    for (size_t i = 0; i < workloads.size(); ++i) {
      const double start = now_seconds();
      workloads[i].run(round);
      const double elapsed = now_seconds() - start;
      samples[i].push_back(elapsed);
      spent += elapsed;
      if (workloads[i].reset) workloads[i].reset(round);
    }
  }
  std::vector<double> medians;
  for (std::vector<double>& workload_samples : samples) medians.push_back(median(workload_samples));
  return medians;
}

}  // namespace quorvel::bench
