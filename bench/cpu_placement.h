// Where the benchmark's processes run: the client (and the codec timings) on the last CPU
// this run may use, every server process on the first. Two processes that the scheduler
// moves between cores, or puts on the same one, make loopback figures swing by a third from
// run to run.
#ifndef QUORVEL_BENCH_CPU_PLACEMENT_H_
#define QUORVEL_BENCH_CPU_PLACEMENT_H_

namespace quorvel::bench {

struct CpuPlan {
  int client = -1;  // -1: not pinned (fewer than two CPUs, or the set cannot be read)
  int server = -1;
};

// Reads the CPUs the run may use (it may have been started under taskset). Call it before
// pinning anything: the server processes inherit the client's pinning otherwise.
CpuPlan plan_cpus();

// Pins the calling process to one CPU; false when cpu is -1 or pinning fails.
bool pin_to_cpu(int cpu);

}  // namespace quorvel::bench

#endif  // QUORVEL_BENCH_CPU_PLACEMENT_H_
