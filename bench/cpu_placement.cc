#include "bench/cpu_placement.h"

#include <sched.h>

namespace quorvel::bench {

CpuPlan plan_cpus() {
  CpuPlan plan;
  cpu_set_t allowed;
  CPU_ZERO(&allowed);
  if (sched_getaffinity(0, sizeof allowed, &allowed) != 0 || CPU_COUNT(&allowed) < 2) return plan;
  for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
    if (!CPU_ISSET(cpu, &allowed)) continue;
    if (plan.server < 0) plan.server = cpu;
    plan.client = cpu;
  }
  return plan;
}

bool pin_to_cpu(int cpu) {
  if (cpu < 0) return false;
  cpu_set_t one;
  CPU_ZERO(&one);
  CPU_SET(cpu, &one);
  return sched_setaffinity(0, sizeof one, &one) == 0;
}

}  // namespace quorvel::bench
