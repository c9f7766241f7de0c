#include "bench/machine_info.h"

#include <sys/utsname.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "bench/frame_ring.h"
#include "codecs/lzo_api.h"

#ifndef QUORVEL_BENCH_BUILD_FLAGS
#define QUORVEL_BENCH_BUILD_FLAGS "unknown"
#endif

namespace quorvel::bench {

namespace {

std::string cpu_model() {
  std::ifstream cpuinfo("/proc/cpuinfo");
  std::string line;
  while (std::getline(cpuinfo, line)) {
    if (line.compare(0, 10, "model name") == 0) return line.substr(line.find(':') + 2);
  }
  return "unknown";
}

}  // namespace

void print_machine_info() {
  utsname system{};
  uname(&system);
  std::printf("quorvel-bench on %s, %ld cores, last-level cache %llu MiB, %s %s\n", cpu_model().c_str(),
              sysconf(_SC_NPROCESSORS_ONLN), static_cast<unsigned long long>(cold_ring_bytes() / 2) >> 20,
              system.sysname, system.release);
  std::printf("built with %s, flags: %s\n", "gcc " __VERSION__, QUORVEL_BENCH_BUILD_FLAGS);
  std::printf("zlib %s, LZO %s; MB = 10^6 bytes; figures are medians of interleaved rounds\n",
              zlibVersion(), lzo_version_string());
}

}  // namespace quorvel::bench
