// Byte sequences for the Fano tests and fuzz corpora: noise, skewed values as a filtered
// picture gives them, and small hand-picked cases; all from a seeded generator, so every
// run sees the same bytes.
#ifndef QUORVEL_TESTS_FANO_FANO_TEST_FRAMES_H_
#define QUORVEL_TESTS_FANO_FANO_TEST_FRAMES_H_

#include <cstdint>
#include <random>
#include <vector>

namespace quorvel {

enum class ByteMix {
  kNoise,      // every value equally likely: more than 8 bits a byte
  kSkewed,     // small differences around 0, as after the vertical delta
  kFewValues,  // a handful of values
  kGeometric,  // counts falling by half from value to value: long codes
};

inline std::vector<uint8_t> make_bytes(ByteMix mix, size_t n, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> bytes(n);
  for (uint8_t& byte : bytes) {
    switch (mix) {
      case ByteMix::kNoise:
        byte = static_cast<uint8_t>(random());
        break;
      case ByteMix::kSkewed: {
        // A difference of a few steps, positive or negative, now and then a jump.
        const int step = static_cast<int>(random() % 9) - 4;
        const int jump = (random() % 50 == 0) ? static_cast<int>(random() % 256) : 0;
        byte = static_cast<uint8_t>(step * static_cast<int>(random() % 3) + jump);
        break;
      }
      case ByteMix::kFewValues:
        byte = static_cast<uint8_t>(0x40 + random() % 5);
        break;
      case ByteMix::kGeometric: {
        uint8_t value = 0;
        while (value < 40 && (random() & 1u)) ++value;
        byte = value;
        break;
      }
    }
  }
  return bytes;
}

// A packed YUY2-like picture of width x 2 bytes by rows: a gradient with some grain, so that
// after the vertical delta most bytes are small differences.
inline std::vector<uint8_t> make_picture(int width, int rows, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> frame(static_cast<size_t>(width) * 2 * static_cast<size_t>(rows));
  size_t i = 0;
  for (int y = 0; y < rows; ++y) {
    for (int x = 0; x < width * 2; ++x) {
      const int base = (x % 2 == 0) ? (x / 2 + y) / 4 : 128 + (x % 4 == 1 ? y : -y) / 8;
      frame[i++] = static_cast<uint8_t>(base + static_cast<int>(random() % 7) - 3);
    }
  }
  return frame;
}

}  // namespace quorvel

#endif  // QUORVEL_TESTS_FANO_FANO_TEST_FRAMES_H_
