// Fuzz target for DeflateCodec::decode: payload first, frame shape in the last five bytes.
// Besides the codec's own checks (no over-read, a whole frame back), its frame and status
// must be zlib's for the payload as given and for the payload with its trailer rewritten
// to fit its deflate data, which takes the comparison past the checksum test.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "codecs/deflate/deflate_codec.h"
#include "fuzz/codec_decode_check.h"
#include "fuzz/stream_trailer_repair.h"
#include "fuzz/zlib_reference_check.h"

namespace {

// zlib and libdeflate are not instrumented, so the fuzzer sees none of their branches and
// would keep only the shortest inputs. libFuzzer also counts the bytes of this section as
// coverage: one counter per zlib status and bit length of the output it gave, so inputs
// that reach a new outcome or decode to twice as many bytes are kept.
constexpr int kOutputBitLengths = 20;  // frames are at most 2^18 bytes
__attribute__((section("__libfuzzer_extra_counters")))
uint8_t outcome_counters[9 * kOutputBitLengths];

void mark_outcome(const quorvel::ReferenceFrame& frame) {
  int bit_length = 0;
  for (size_t left = frame.outcome.produced; left != 0; left >>= 1) ++bit_length;
  // zlib's codes run from Z_VERSION_ERROR (-6) to Z_NEED_DICT (2).
  const int status = frame.outcome.status + 6;
  const int status_slot = status >= 0 && status < 9 ? status : 0;
  const int slot =
      status_slot * kOutputBitLengths + (bit_length < kOutputBitLengths ? bit_length : 0);
  outcome_counters[slot] = static_cast<uint8_t>(outcome_counters[slot] + 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::unique_ptr<quorvel::DeflateCodec> codec = quorvel::DeflateCodec::create();
  quorvel::check_decode(*codec, data, size);

  quorvel::FuzzInput input(data, size);
  const quorvel::FuzzFrameShape shape = quorvel::take_frame_shape(input);
  const std::vector<uint8_t> payload(input.data(), input.data() + input.size());
  mark_outcome(quorvel::check_against_zlib(*codec, payload, shape));
  const std::vector<uint8_t> repaired =
      quorvel::with_repaired_trailer(payload, static_cast<size_t>(shape.frame_bytes()));
  if (!repaired.empty()) mark_outcome(quorvel::check_against_zlib(*codec, repaired, shape));
  return 0;
}
