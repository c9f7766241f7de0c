// The round-trip check the codec fuzz targets share: encode a copy of the frame, take the
// payload, decode it with the same shape and trap unless the picture comes back.
#ifndef QUORVEL_FUZZ_ROUND_TRIP_CHECK_H_
#define QUORVEL_FUZZ_ROUND_TRIP_CHECK_H_

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "codecs/frame_codec.h"
#include "fuzz/frame_shape_param.h"

namespace quorvel {

using FuzzBytes = std::vector<uint8_t>;

inline void fuzz_require(bool condition) {
  if (!condition) __builtin_trap();
}

// Copies out and releases the owned block a codec handed back.
inline FuzzBytes take_block(FrameCodec& codec, int32_t length) {
  fuzz_require(codec.output_buffer != nullptr && length >= 0 && !codec.output_not_owned);
  FuzzBytes bytes(codec.output_buffer, codec.output_buffer + length);
  codec.release_output();
  return bytes;
}

// When filtered is given, encode must also leave exactly those bytes in the caller's buffer.
inline void check_round_trip(FrameCodec& codec, const FuzzBytes& frame, const FuzzFrameShape& shape,
                             const FuzzBytes* filtered = nullptr) {
  FuzzBytes work = frame;
  const int32_t length = codec.encode(work.data(), shape.row_bytes, shape.rows, shape.pitch);
  fuzz_require(length > 0);
  if (filtered != nullptr) fuzz_require(work == *filtered);
  const FuzzBytes payload = take_block(codec, length);
  const int32_t rebuilt = codec.decode(payload.data(), shape.row_bytes, shape.rows, shape.pitch,
                                       static_cast<int32_t>(payload.size()));
  fuzz_require(rebuilt == shape.frame_bytes());
  fuzz_require(take_block(codec, rebuilt) == frame);
}

}  // namespace quorvel

#endif  // QUORVEL_FUZZ_ROUND_TRIP_CHECK_H_
