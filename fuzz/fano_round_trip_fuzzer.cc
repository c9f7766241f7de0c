// Fuzz target for the type-2 encoder. The input is a picture, then the frame shape in the
// last five bytes; the picture is repeated to fill the frame. Traps unless the fast writer
// gives the reference writer's bytes at exactly the planned length, both decoders give the
// bytes back, and FanoCodec's encode and decode give the picture back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "codecs/byte_histogram.h"
#include "codecs/fano_code_builder.h"
#include "codecs/fano_codec.h"
#include "codecs/fano_compress.h"
#include "codecs/fano_expand.h"
#include "fuzz/frame_shape_param.h"
#include "fuzz/fuzz_input.h"
#include "fuzz/round_trip_check.h"

namespace quorvel {
namespace {

using Bytes = FuzzBytes;
constexpr auto require = fuzz_require;

// The reference decoder's time grows with n times the leaves: compare on a frame's head.
constexpr size_t kMaxComparedBytes = 16384;

void check_coder(const Bytes& frame) {
  const Bytes source(frame.begin(),
                     frame.begin() + static_cast<std::ptrdiff_t>(frame.size() < kMaxComparedBytes
                                                                     ? frame.size()
                                                                     : kMaxComparedBytes));
  const uint32_t n = static_cast<uint32_t>(source.size());
  uint32_t counts[kFanoSymbolCount];
  count_bytes(source.data(), n, counts);
  FanoCodeBook code;
  require(build_fano_code(counts, &code) == FanoBuildResult::kOk);
  const size_t planned = static_cast<size_t>(fano_bytes_for_bits(code.stream_bits));
  Bytes fast(planned);
  Bytes reference(planned);
  require(fano_compress(code, source.data(), n, fast.data()) == planned);
  require(fano_compress_reference(code, source.data(), n, reference.data()) == planned);
  require(fast == reference);

  const uint32_t payload_len = static_cast<uint32_t>(planned);
  Bytes decoded(n);
  FanoExpandResult result = fano_expand(fast.data(), decoded.data(), payload_len, n);
  require(result.status == FanoExpandStatus::kComplete && result.bytes_written == n);
  require(decoded == source);
  decoded.assign(n, 0);
  result = fano_expand_reference(fast.data(), decoded.data(), payload_len, n);
  require(result.status == FanoExpandStatus::kComplete && decoded == source);
}

}  // namespace
}  // namespace quorvel

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace quorvel;
  FuzzInput input(data, size);
  const FuzzFrameShape shape = take_frame_shape(input);
  Bytes frame(static_cast<size_t>(shape.frame_bytes()));
  for (size_t i = 0; input.size() != 0 && i < frame.size(); ++i)
    frame[i] = input.data()[i % input.size()];
  check_coder(frame);
  FanoCodec codec;
  check_round_trip(codec, frame, shape);
  return 0;
}
