// floor(a * b / d) for a 64-bit a and 32-bit b and d, saturated at UINT64_MAX: the time-base
// conversions of the stream record (frames to audio samples) need up to 96 bits in between,
// more than a 32-bit build's widest integer.
#ifndef QUORVEL_UTIL_MULTIPLY_DIVIDE_H_
#define QUORVEL_UTIL_MULTIPLY_DIVIDE_H_

#include <cstdint>

namespace quorvel {

// d must not be 0. With a = q * d + r: floor(a * b / d) = q * b + floor(r * b / d), where
// r * b stays below 2^64.
inline uint64_t multiply_divide(uint64_t a, uint32_t b, uint32_t d) {
  const uint64_t q = a / d;
  const uint64_t r = a % d;
  if (b != 0 && q > UINT64_MAX / b) return UINT64_MAX;
  const uint64_t whole = q * b;
  const uint64_t part = r * b / d;
  return whole > UINT64_MAX - part ? UINT64_MAX : whole + part;
}

}  // namespace quorvel

#endif  // QUORVEL_UTIL_MULTIPLY_DIVIDE_H_
