#include "bench/frame_ring.h"

#include <unistd.h>

#include <cstring>
#include <fstream>

namespace quorvel::bench {

namespace {

constexpr uint64_t kFallbackCacheBytes = 32ull << 20;

// The kernel's view of the L3 that this core shares (what lscpu prints). glibc's sysconf is
// only the fallback: under a hypervisor it can report the whole host's L3 (384 MiB here
// where the guest's core sees 32 MiB), which would make cold rings pointlessly large.
uint64_t last_level_cache_bytes() {
  std::ifstream size_file("/sys/devices/system/cpu/cpu0/cache/index3/size");
  uint64_t kib = 0;
  if (size_file >> kib && kib > 0) return kib << 10;
#if defined(_SC_LEVEL3_CACHE_SIZE)
  const long from_sysconf = sysconf(_SC_LEVEL3_CACHE_SIZE);
  if (from_sysconf > 0) return static_cast<uint64_t>(from_sysconf);
#endif
  return kFallbackCacheBytes;
}

}  // namespace

const char* cache_state_name(CacheState state) {
  return state == CacheState::kCold ? "cold" : "hot";
}

uint64_t cold_ring_bytes() {
  return 2 * last_level_cache_bytes();
}

FrameRing::FrameRing(const std::vector<uint8_t>& original, CacheState state) : original_(original) {
  size_t count = 1;
  if (state == CacheState::kCold) {
    count = static_cast<size_t>(cold_ring_bytes() / original.size()) + 2;
  }
  copies_.assign(count, original);
}

size_t FrameRing::index(int round) const {
  const int count = copies();
  return static_cast<size_t>(((round % count) + count) % count);
}

uint8_t* FrameRing::slot(int round) {
  return copies_[index(round)].data();
}

void FrameRing::restore(int round) {
  std::memcpy(copies_[index(round)].data(), original_.data(), original_.size());
}

}  // namespace quorvel::bench
