#include "codecs/frame_codec.h"

#include <cstdlib>

namespace quorvel {

int32_t frame_bytes(int32_t rows, int32_t pitch) {
  if (rows <= 0 || pitch <= 0) return 0;
  const int64_t n = static_cast<int64_t>(rows) * pitch;
  return n > INT32_MAX ? 0 : static_cast<int32_t>(n);
}

int32_t FrameCodec::encode(uint8_t* frame, int32_t /*row_bytes*/, int32_t rows, int32_t pitch) {
  output_buffer = frame;
  output_not_owned = true;
  return frame_bytes(rows, pitch);
}

int32_t FrameCodec::decode(const uint8_t* payload, int32_t /*row_bytes*/, int32_t rows,
                           int32_t pitch, int32_t /*payload_len*/) {
  // The raw payload is the frame: hand it back without copying. output_not_owned tells
  // the caller the block is its own.
  output_buffer = const_cast<uint8_t*>(payload);
  output_not_owned = true;
  return frame_bytes(rows, pitch);
}

void FrameCodec::release_output() {
  if (!output_not_owned) give_back_block(output_buffer);
  output_buffer = nullptr;
}

void FrameCodec::free_output(uint8_t* output) {
  if (output != nullptr) std::free(output - kOutputHeadroom);
}

uint8_t* FrameCodec::take_block(size_t size) {
  uint8_t* block = blocks_.take(kOutputHeadroom + size);
  return block == nullptr ? nullptr : block + kOutputHeadroom;
}

void FrameCodec::give_back_block(uint8_t* block) {
  if (block != nullptr) blocks_.give_back(block - kOutputHeadroom);
}

}  // namespace quorvel
