// Helpers shared by the compressing codecs' tests: encode a copy of a frame, decode a
// payload that sits flush against an unreadable page, and take the codec's block.
#ifndef QUORVEL_TESTS_CODECS_CODEC_TEST_SUPPORT_H_
#define QUORVEL_TESTS_CODECS_CODEC_TEST_SUPPORT_H_

#include <cstdint>
#include <vector>

#include "codecs/frame_codec.h"
#include "tests/codecs/test_frames.h"

namespace quorvel {

using Bytes = std::vector<uint8_t>;

struct Encoded {
  Bytes payload;
  Bytes filtered_frame;  // the caller's frame buffer after encode()
  int32_t result;
};

// Encodes a copy of `frame`; takes (copies and frees) the codec's output block.
Encoded encode_copy(FrameCodec& codec, const Bytes& frame, const FrameShape& shape);

struct Decoded {
  Bytes frame;  // empty when decode() handed back no block
  int32_t result;
};

// Decodes `payload` from a buffer that ends at an unreadable page; takes the block.
Decoded decode_guarded(FrameCodec& codec, const Bytes& payload, const FrameShape& shape);

// The frame as VerticalDelta::forward leaves it.
Bytes filtered(Bytes frame, const FrameShape& shape);

// zlib's own deflate of the bytes into one zlib stream (window bits 15, memory level 8) at
// the level and strategy given; empty when zlib fails.
Bytes zlib_deflated(const Bytes& bytes, int level, int strategy);

}  // namespace quorvel

#endif  // QUORVEL_TESTS_CODECS_CODEC_TEST_SUPPORT_H_
