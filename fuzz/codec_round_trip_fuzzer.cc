// Fuzz target for the compressing codecs' round trip and the vertical delta's fast paths.
// The input is a picture, then the frame shape (last five bytes before the final one) and
// a codec choice (final byte: bit 0 LZO, bit 1 deflate). The picture is repeated to fill
// the frame. Traps unless the fast filter gives the reference bytes, encode leaves the
// filtered frame in the caller's buffer, and decode gives the picture back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "codecs/codec_factory.h"
#include "codecs/deflate/deflate_codec.h"
#include "codecs/lzo_codec.h"
#include "codecs/vertical_delta.h"
#include "fuzz/frame_shape_param.h"
#include "fuzz/fuzz_input.h"
#include "fuzz/round_trip_check.h"

namespace quorvel {
namespace {

using Bytes = FuzzBytes;
constexpr auto require = fuzz_require;

void check_filter(const Bytes& frame, const FuzzFrameShape& shape, Bytes& filtered) {
  filtered = frame;
  Bytes reference = frame;
  VerticalDelta::forward(filtered.data(), shape.row_bytes, shape.rows, shape.pitch);
  VerticalDelta::forward_reference(reference.data(), shape.row_bytes, shape.rows, shape.pitch);
  require(filtered == reference);
  Bytes restored = filtered;
  VerticalDelta::inverse(restored.data(), shape.row_bytes, shape.rows, shape.pitch);
  VerticalDelta::inverse_reference(reference.data(), shape.row_bytes, shape.rows, shape.pitch);
  require(restored == frame && reference == frame);
}

}  // namespace
}  // namespace quorvel

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace quorvel;
  static const std::unique_ptr<LzoCodec> lzo = [] {
    init_codec_libraries();
    return LzoCodec::create();
  }();
  static const std::unique_ptr<DeflateCodec> deflate = DeflateCodec::create();

  FuzzInput input(data, size);
  const uint8_t codecs = input.take_byte();
  const FuzzFrameShape shape = take_frame_shape(input);
  Bytes frame(static_cast<size_t>(shape.frame_bytes()));
  for (size_t i = 0; input.size() != 0 && i < frame.size(); ++i)
    frame[i] = input.data()[i % input.size()];

  Bytes filtered;
  check_filter(frame, shape, filtered);
  if ((codecs & 1) != 0) check_round_trip(*lzo, frame, shape, &filtered);
  if ((codecs & 2) != 0) check_round_trip(*deflate, frame, shape, &filtered);
  return 0;
}
