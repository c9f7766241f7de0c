// Frames for the codec tests: packed or padded YUY2-like pictures of a few kinds (smooth
// gradients, shapes that move from frame to frame, noise, flat colour), made from a seed so
// every run sees the same bytes.
#ifndef QUORVEL_TESTS_CODECS_TEST_FRAMES_H_
#define QUORVEL_TESTS_CODECS_TEST_FRAMES_H_

#include <cstdint>
#include <string>
#include <vector>

namespace quorvel {

enum class FrameKind { kGradient, kMovingShapes, kNoise, kFlat };

const char* frame_kind_name(FrameKind kind);

struct FrameShape {
  int32_t row_bytes;
  int32_t rows;
  int32_t pitch;

  int32_t frame_bytes() const { return rows * pitch; }
  std::string describe() const;
};

// A packed YUY2 frame: row_bytes = pitch = width * 2.
FrameShape packed_yuy2(int32_t width, int32_t height);

// rows * pitch bytes; the pixels in the first row_bytes of each row, the gap bytes after
// them filled with noise. `seed` selects the picture (for moving shapes, their positions).
std::vector<uint8_t> make_frame(FrameKind kind, const FrameShape& shape, uint32_t seed);

}  // namespace quorvel

#endif  // QUORVEL_TESTS_CODECS_TEST_FRAMES_H_
