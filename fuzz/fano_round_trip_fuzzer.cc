// Fuzz target for the type-2 encoder. The input is a picture, then the frame shape in the
// last five bytes; the picture is repeated to fill the frame. Traps unless the fast writer
// gives the reference writer's bytes at exactly the planned length (on the frame, and on the
// picture's head in front of a long background that gives its values codes of 17 bits and
// more), both decoders give the bytes back, and FanoCodec's encode and decode give the
// picture back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "codecs/byte_histogram.h"
#include "codecs/fano/fano_code_builder.h"
#include "codecs/fano/fano_codec.h"
#include "codecs/fano/fano_compress.h"
#include "codecs/fano/fano_expand_variants.h"
#include "codecs/fano/fano_pair_code_table.h"
#include "fuzz/frame_shape_param.h"
#include "fuzz/fuzz_input.h"
#include "fuzz/round_trip_check.h"

namespace quorvel {
namespace {

using Bytes = FuzzBytes;
constexpr auto require = fuzz_require;

// The reference decoder's time grows with n times the leaves: decode a frame's head.
constexpr size_t kMaxDecodedBytes = 16384;
// The long-code source: at most 2^18 bytes (both writers stay fast) around a head of at most
// 256 picture bytes, so that the head's values get codes of 17 bits and more.
constexpr size_t kMaxLongCodeSourceBytes = size_t{1} << 18;
constexpr size_t kMaxHeadBytes = 256;

struct Coded {
  FanoCodeBook code;
  Bytes payload;
};

// The fast writer's stream, trapping unless the reference writes the same bytes. One pair
// table serves every input, so it always holds the previous input's pairs when it is
// rebuilt, as the codec's does.
Coded encode_both_ways(const Bytes& source) {
  static FanoPairCodeTable pairs;
  const uint32_t n = static_cast<uint32_t>(source.size());
  uint32_t counts[kFanoSymbolCount];
  count_bytes(source.data(), n, counts);
  Coded coded;
  require(build_fano_code(counts, &coded.code) == FanoBuildResult::kOk);
  const size_t planned = static_cast<size_t>(fano_bytes_for_bits(coded.code.stream_bits));
  coded.payload.resize(planned);
  Bytes reference(planned);
  require(fano_compress(coded.code, source.data(), n, coded.payload.data(), &pairs) == planned);
  require(fano_compress_reference(coded.code, source.data(), n, reference.data()) == planned);
  require(coded.payload == reference);
  return coded;
}

// The picture's head, then values absent from it, each seen once more than all that follow
// it together with the head: the code puts each of them one level deeper than the last and
// the head's values below them all, as deep as the 2^18 bytes allow.
Bytes with_long_codes(const Bytes& frame) {
  const size_t head = frame.size() < kMaxHeadBytes ? frame.size() : kMaxHeadBytes;
  Bytes source(frame.begin(), frame.begin() + static_cast<std::ptrdiff_t>(head));
  bool present[kFanoSymbolCount] = {};
  for (uint8_t value : source) present[value] = true;
  Bytes absent;
  for (uint32_t v = 0; v < kFanoSymbolCount; ++v) {
    if (!present[v]) absent.push_back(static_cast<uint8_t>(v));
  }
  // The deepest value takes head + 1 bytes, each one above it twice as many: with L levels
  // the source holds (head + 1) * 2^L - 1 bytes.
  size_t levels = 0;
  while (levels < absent.size() && ((head + 1) << (levels + 1)) - 1 <= kMaxLongCodeSourceBytes) {
    ++levels;
  }
  for (size_t k = 0; k < levels; ++k) {
    source.insert(source.end(), (head + 1) << (levels - 1 - k), absent[k]);
  }
  return source;
}

void check_coder(const Bytes& frame) {
  encode_both_ways(with_long_codes(frame));
  encode_both_ways(frame);

  const Bytes source(frame.begin(),
                     frame.begin() + static_cast<std::ptrdiff_t>(frame.size() < kMaxDecodedBytes
                                                                     ? frame.size()
                                                                     : kMaxDecodedBytes));
  const uint32_t n = static_cast<uint32_t>(source.size());
  const Coded coded = encode_both_ways(source);
  const uint32_t payload_len = static_cast<uint32_t>(coded.payload.size());
  Bytes decoded(n);
  FanoExpandResult result = fano_expand(coded.payload.data(), decoded.data(), payload_len, n);
  require(result.status == FanoExpandStatus::kComplete && result.bytes_written == n);
  require(decoded == source);
  decoded.assign(n, 0);
  result = fano_expand_reference(coded.payload.data(), decoded.data(), payload_len, n);
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
