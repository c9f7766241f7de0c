// Fuzz target for the type-2 decoder: payload first, frame shape in the last five bytes.
// FanoCodec::decode must hand back an n-byte block from any payload without reading past
// it, and the table decoder must agree with the record-by-record reference on every
// payload: same status, same bytes, same count.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "codecs/fano/fano_codec.h"
#include "codecs/fano/fano_expand_variants.h"
#include "fuzz/codec_decode_check.h"
#include "fuzz/frame_shape_param.h"
#include "fuzz/fuzz_input.h"

namespace quorvel {
namespace {

// The reference looks at every record for every position: keep its frames small.
constexpr int32_t kMaxComparedBytes = 16384;

void require(bool condition) {
  if (!condition) __builtin_trap();
}

void compare_decoders(const uint8_t* data, size_t size) {
  FuzzInput input(data, size);
  const FuzzFrameShape shape = take_frame_shape(input);
  const uint32_t n = static_cast<uint32_t>(
      shape.frame_bytes() < kMaxComparedBytes ? shape.frame_bytes() : kMaxComparedBytes);
  const uint32_t payload_len = static_cast<uint32_t>(input.size());
  const std::unique_ptr<uint8_t[]> payload(new uint8_t[payload_len]);  // exact: over-reads show
  if (payload_len != 0) std::memcpy(payload.get(), input.data(), payload_len);
  const std::unique_ptr<uint8_t[]> fast(new uint8_t[n]());
  const std::unique_ptr<uint8_t[]> reference(new uint8_t[n]());

  const FanoExpandResult a = fano_expand(payload.get(), fast.get(), payload_len, n);
  const FanoExpandResult b = fano_expand_reference(payload.get(), reference.get(), payload_len, n);
  require(a.status == b.status && a.tree_result == b.tree_result);
  require(a.bytes_written == b.bytes_written && a.bytes_written <= n);
  require(std::memcmp(fast.get(), reference.get(), n) == 0);
}

}  // namespace
}  // namespace quorvel

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static quorvel::FanoCodec codec;
  quorvel::check_decode(codec, data, size);
  quorvel::compare_decoders(data, size);
  return 0;
}
