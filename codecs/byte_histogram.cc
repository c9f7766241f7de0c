#include "codecs/byte_histogram.h"

#include <cstring>

namespace quorvel {

void count_bytes(const uint8_t* source, uint32_t n, uint32_t counts[256]) {
  // Eight tables fed from 8-byte loads: a filtered frame is mostly runs of a few values, and
  // with one table each increment would wait for the previous one of the same counter.
  uint32_t lanes[8][256];
  std::memset(lanes, 0, sizeof lanes);
  uint32_t i = 0;
  for (; n - i >= 8; i += 8) {
    uint32_t low;
    uint32_t high;
    std::memcpy(&low, source + i, 4);
    std::memcpy(&high, source + i + 4, 4);
    ++lanes[0][low & 0xFF];
    ++lanes[1][(low >> 8) & 0xFF];
    ++lanes[2][(low >> 16) & 0xFF];
    ++lanes[3][low >> 24];
    ++lanes[4][high & 0xFF];
    ++lanes[5][(high >> 8) & 0xFF];
    ++lanes[6][(high >> 16) & 0xFF];
    ++lanes[7][high >> 24];
  }
  for (; i < n; ++i) ++lanes[0][source[i]];
  for (uint32_t v = 0; v < 256; ++v) {
    counts[v] = lanes[0][v] + lanes[1][v] + lanes[2][v] + lanes[3][v] + lanes[4][v] + lanes[5][v] +
                lanes[6][v] + lanes[7][v];
  }
}

}  // namespace quorvel
