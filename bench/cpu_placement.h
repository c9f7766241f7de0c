// Where the benchmark's processes run: the client (and the codec timings) on the last CPU,
// every server process on the first. Two processes that the scheduler moves between cores,
// or puts on the same one, make loopback figures swing by a third from run to run.
#ifndef QUORVEL_BENCH_CPU_PLACEMENT_H_
#define QUORVEL_BENCH_CPU_PLACEMENT_H_

namespace quorvel::bench {

enum class ProcessRole { kClient, kServer };

// Pins the calling process; returns the CPU, or -1 when there is only one or it fails.
int place_process(ProcessRole role);

}  // namespace quorvel::bench

#endif  // QUORVEL_BENCH_CPU_PLACEMENT_H_
