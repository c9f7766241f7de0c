// The deflate decoder's differential check: DeflateCodec::decode of a payload against the
// decoder it replaced, zlib's inflate of the same stream into a zeroed block followed by
// the inverse filter. The frame and last_result must match, with one allowance (below).
#ifndef QUORVEL_FUZZ_ZLIB_REFERENCE_CHECK_H_
#define QUORVEL_FUZZ_ZLIB_REFERENCE_CHECK_H_

#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "codecs/deflate/deflate_codec.h"
#include "codecs/deflate/zlib_inflate.h"
#include "codecs/vertical_delta.h"
#include "fuzz/frame_shape_param.h"

namespace quorvel {

struct ReferenceFrame {
  std::vector<uint8_t> bytes;
  InflateOutcome outcome;
};

inline ReferenceFrame decode_with_zlib(const std::vector<uint8_t>& payload,
                                       const FuzzFrameShape& shape) {
  static z_stream record;
  ReferenceFrame frame{std::vector<uint8_t>(static_cast<size_t>(shape.frame_bytes()), 0), {}};
  const size_t stream_length = payload.size() >= 4 ? payload.size() - 4 : 0;
  frame.outcome =
      inflate_zlib_stream(&record, payload.data(), static_cast<uint32_t>(stream_length),
                          frame.bytes.data(), static_cast<uint32_t>(frame.bytes.size()));
  VerticalDelta::inverse(frame.bytes.data(), shape.row_bytes, shape.rows, shape.pitch);
  return frame;
}

// Traps unless the codec gives zlib's frame and status for the payload. The allowance:
// libdeflate accepts some streams that zlib refuses as invalid data (seen: length symbols
// 286-287 and distance symbols 30-31, which zlib rejects and libdeflate decodes); whatever
// such a stream holds past the point where zlib stops, the codec's frame must still begin
// with the bytes zlib produced up to it. Returns zlib's frame.
inline ReferenceFrame check_against_zlib(DeflateCodec& codec, const std::vector<uint8_t>& payload,
                                         const FuzzFrameShape& shape) {
  const ReferenceFrame expected = decode_with_zlib(payload, shape);
  // An exactly sized copy (new[] is distinct even when empty), so an over-read is caught.
  const std::unique_ptr<uint8_t[]> exact(new uint8_t[payload.size()]);
  if (!payload.empty()) std::memcpy(exact.get(), payload.data(), payload.size());
  const int32_t result = codec.decode(exact.get(), shape.row_bytes, shape.rows, shape.pitch,
                                      static_cast<int32_t>(payload.size()));
  if (result != shape.frame_bytes() || codec.output_buffer == nullptr) __builtin_trap();
  size_t same_bytes = expected.bytes.size();
  if (codec.last_result != expected.outcome.status) {
    const bool lenient_acceptance =
        codec.last_result == Z_STREAM_END && expected.outcome.status == Z_DATA_ERROR;
    if (!lenient_acceptance) __builtin_trap();
    same_bytes = expected.outcome.produced;
  }
  if (std::memcmp(codec.output_buffer, expected.bytes.data(), same_bytes) != 0) __builtin_trap();
  codec.release_output();
  return expected;
}

}  // namespace quorvel

#endif  // QUORVEL_FUZZ_ZLIB_REFERENCE_CHECK_H_
