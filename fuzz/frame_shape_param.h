// The frame shape a codec fuzz target works on, taken from the end of its input: row_bytes
// may be anything from -16 to 4079 (also beyond pitch), pitch 1 to 2048, rows 1 to 128, so
// that a frame never exceeds 256 KiB.
#ifndef QUORVEL_FUZZ_FRAME_SHAPE_PARAM_H_
#define QUORVEL_FUZZ_FRAME_SHAPE_PARAM_H_

#include <cstdint>

#include "fuzz/fuzz_input.h"

namespace quorvel {

struct FuzzFrameShape {
  int32_t row_bytes;
  int32_t rows;
  int32_t pitch;

  int32_t frame_bytes() const { return rows * pitch; }
};

inline FuzzFrameShape take_frame_shape(FuzzInput& input) {
  FuzzFrameShape shape;
  shape.row_bytes = static_cast<int32_t>(input.take_u16() % 4096) - 16;
  shape.pitch = 1 + static_cast<int32_t>(input.take_u16() % 2048);
  shape.rows = 1 + static_cast<int32_t>(input.take_byte() % 128);
  return shape;
}

}  // namespace quorvel

#endif  // QUORVEL_FUZZ_FRAME_SHAPE_PARAM_H_
