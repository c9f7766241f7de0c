#include "tests/codecs/codec_test_support.h"

#include <cstdlib>

#include "codecs/vertical_delta.h"
#include "tests/support/guarded_buffer.h"

namespace quorvel {
namespace {

Bytes take_output(FrameCodec& codec, int32_t length) {
  Bytes bytes;
  if (codec.output_buffer != nullptr && length > 0) {
    bytes.assign(codec.output_buffer, codec.output_buffer + length);
  }
  codec.release_output();
  return bytes;
}

}  // namespace

Encoded encode_copy(FrameCodec& codec, const Bytes& frame, const FrameShape& shape) {
  Encoded encoded;
  encoded.filtered_frame = frame;
  encoded.result =
      codec.encode(encoded.filtered_frame.data(), shape.row_bytes, shape.rows, shape.pitch);
  encoded.payload = take_output(codec, encoded.result);
  return encoded;
}

Decoded decode_guarded(FrameCodec& codec, const Bytes& payload, const FrameShape& shape) {
  GuardedBuffer guarded(payload);
  Decoded decoded;
  decoded.result = codec.decode(guarded.data(), shape.row_bytes, shape.rows, shape.pitch,
                                static_cast<int32_t>(payload.size()));
  const bool has_block = codec.output_buffer != nullptr;
  decoded.frame = take_output(codec, shape.frame_bytes());
  if (!has_block) decoded.frame.clear();
  return decoded;
}

Bytes filtered(Bytes frame, const FrameShape& shape) {
  VerticalDelta::forward(frame.data(), shape.row_bytes, shape.rows, shape.pitch);
  return frame;
}

}  // namespace quorvel
