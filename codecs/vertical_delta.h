// VerticalDelta: the reversible in-place filter that every compressing codec runs before it
// compresses a frame (forward) and after it decompresses one (inverse). Each byte below the
// top row becomes its difference, modulo 256, from the byte directly above it.
#ifndef QUORVEL_CODECS_VERTICAL_DELTA_H_
#define QUORVEL_CODECS_VERTICAL_DELTA_H_

#include <cstdint>

namespace quorvel {

class VerticalDelta {
 public:
  // Both work in place on rows rows of pitch bytes from buffer (the top row) and touch no
  // byte outside the rows * pitch bytes of the frame.
  static void forward(uint8_t* buffer, int32_t row_bytes, int32_t rows, int32_t pitch);
  static void inverse(uint8_t* buffer, int32_t row_bytes, int32_t rows, int32_t pitch);

  // Plain byte loops giving the same bytes; the tested reference for the fast versions.
  static void forward_reference(uint8_t* buffer, int32_t row_bytes, int32_t rows, int32_t pitch);
  static void inverse_reference(uint8_t* buffer, int32_t row_bytes, int32_t rows, int32_t pitch);
};

}  // namespace quorvel

#endif  // QUORVEL_CODECS_VERTICAL_DELTA_H_
