// The check both decoder fuzz targets run: decode the input's payload into a frame of the
// shape at the end of the input, from a block of exactly the payload's size (so an
// over-read is caught), and trap unless the codec handed back an n-byte block and a
// length between 0 and n.
#ifndef QUORVEL_FUZZ_CODEC_DECODE_CHECK_H_
#define QUORVEL_FUZZ_CODEC_DECODE_CHECK_H_

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "codecs/frame_codec.h"
#include "fuzz/frame_shape_param.h"
#include "fuzz/fuzz_input.h"

namespace quorvel {

inline void check_decode(FrameCodec& codec, const uint8_t* data, size_t size) {
  FuzzInput input(data, size);
  const FuzzFrameShape shape = take_frame_shape(input);
  // new[] gives a distinct block even for an empty payload.
  const std::unique_ptr<uint8_t[]> payload(new uint8_t[input.size()]);
  if (input.size() != 0) std::memcpy(payload.get(), input.data(), input.size());
  const int32_t result = codec.decode(payload.get(), shape.row_bytes, shape.rows, shape.pitch,
                                      static_cast<int32_t>(input.size()));
  if (codec.output_buffer == nullptr || result < 0 || result > shape.frame_bytes()) {
    __builtin_trap();
  }
  // Every byte of the block must be readable (and defined, for a sanitizer that tracks it).
  volatile uint8_t sink = 0;
  for (int32_t i = 0; i < shape.frame_bytes(); ++i)
    sink = static_cast<uint8_t>(sink ^ codec.output_buffer[i]);
  codec.release_output();
}

}  // namespace quorvel

#endif  // QUORVEL_FUZZ_CODEC_DECODE_CHECK_H_
