#include "bench/machine_info.h"

#include <zlib.h>
#if !defined(_WIN32)
#include <sys/utsname.h>
#include <unistd.h>
#endif

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
#if defined(_WIN32)
  std::ifstream cpuinfo("Z:/proc/cpuinfo");  // Wine's view of the Linux root
#else
  std::ifstream cpuinfo("/proc/cpuinfo");
#endif
  std::string line;
  while (std::getline(cpuinfo, line)) {
    if (line.compare(0, 10, "model name") == 0) return line.substr(line.find(':') + 2);
  }
  return "unknown";
}

// The system line: kernel and cores natively; the 32-bit Windows build runs under Wine,
// which reports the same /proc/cpuinfo.
std::string system_text() {
#if defined(_WIN32)
  return sizeof(void*) == 4 ? "32-bit Windows build" : "Windows build";
#else
  utsname system{};
  uname(&system);
  return std::to_string(sysconf(_SC_NPROCESSORS_ONLN)) + " cores, " + system.sysname + " " +
         system.release;
#endif
}

}  // namespace

void print_machine_info() {
  std::printf("quorvel-bench on %s, %s, last-level cache %llu MiB\n", cpu_model().c_str(),
              system_text().c_str(), static_cast<unsigned long long>(cold_ring_bytes() / 2) >> 20);
  std::printf("built with %s, flags: %s\n", "gcc " __VERSION__, QUORVEL_BENCH_BUILD_FLAGS);
  std::printf("zlib %s, LZO %s; MB = 10^6 bytes; figures are medians of interleaved rounds\n",
              zlibVersion(), lzo_version_string());
}

void print_load_average(const char* when) {
#if defined(_WIN32)
  std::ifstream loadavg("Z:/proc/loadavg");
#else
  std::ifstream loadavg("/proc/loadavg");
#endif
  std::string one, five, fifteen;
  if (loadavg >> one >> five >> fifteen) {
    std::printf("load average %s: %s %s %s\n", when, one.c_str(), five.c_str(), fifteen.c_str());
  }
}

}  // namespace quorvel::bench
