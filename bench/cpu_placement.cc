#include "bench/cpu_placement.h"

#include <sched.h>
#include <unistd.h>

namespace quorvel::bench {

namespace {

// The CPUs this process may use (it may have been started under taskset), in order.
int allowed_cpus(int* first, int* last) {
  cpu_set_t allowed;
  CPU_ZERO(&allowed);
  if (sched_getaffinity(0, sizeof allowed, &allowed) != 0) return 0;
  int count = 0;
  for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
    if (!CPU_ISSET(cpu, &allowed)) continue;
    if (count++ == 0) *first = cpu;
    *last = cpu;
  }
  return count;
}

}  // namespace

int place_process(ProcessRole role) {
  int first = 0;
  int last = 0;
  if (allowed_cpus(&first, &last) < 2) return -1;
  const int cpu = role == ProcessRole::kClient ? last : first;
  cpu_set_t one;
  CPU_ZERO(&one);
  CPU_SET(cpu, &one);
  return sched_setaffinity(0, sizeof one, &one) == 0 ? cpu : -1;
}

}  // namespace quorvel::bench
