// FrameRing: copies of one block of bytes to rotate over. A cold ring holds more bytes than
// the last-level cache, so each timed use finds its copy in memory, not in cache; a hot
// ring is one copy, used again and again.
#ifndef QUORVEL_BENCH_FRAME_RING_H_
#define QUORVEL_BENCH_FRAME_RING_H_

#include <cstdint>
#include <string>
#include <vector>

namespace quorvel::bench {

enum class CacheState { kCold, kHot };

const char* cache_state_name(CacheState state);

// Bytes a cold ring spans at least: twice the last-level cache (or 64 MiB when the cache
// size cannot be read), so that neither the ring nor a second one beside it stays cached.
uint64_t cold_ring_bytes();

class FrameRing {
 public:
  // REQUIRES: !original.empty().
  FrameRing(const std::vector<uint8_t>& original, CacheState state);

  // The copy that a round uses; round -1 (the warm-up) has one of its own when cold.
  uint8_t* slot(int round);
  // Puts the original bytes back into the copy of that round (after an in-place change).
  void restore(int round);

  int32_t size() const { return static_cast<int32_t>(original_.size()); }
  int copies() const { return static_cast<int>(copies_.size()); }

 private:
  size_t index(int round) const;

  const std::vector<uint8_t>& original_;
  std::vector<std::vector<uint8_t>> copies_;
};

}  // namespace quorvel::bench

#endif  // QUORVEL_BENCH_FRAME_RING_H_
