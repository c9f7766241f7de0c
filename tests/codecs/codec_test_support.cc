#include "tests/codecs/codec_test_support.h"

#include <zlib.h>

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

Bytes zlib_deflated(const Bytes& bytes, int level, int strategy) {
  z_stream z{};
  if (deflateInit2(&z, level, Z_DEFLATED, 15, 8, strategy) != Z_OK) return {};
  Bytes out(deflateBound(&z, static_cast<uLong>(bytes.size())));
  z.next_in = const_cast<Bytef*>(bytes.data());
  z.avail_in = static_cast<uInt>(bytes.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  const int result = deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return result == Z_STREAM_END ? out : Bytes{};
}

}  // namespace quorvel
