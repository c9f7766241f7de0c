// Fuzz target for DeflateCodec::decode: payload first, frame shape in the last five bytes.
// Besides the codec's own checks (no over-read, a whole frame back), its frame and status
// must be zlib's for the payload as given and for the payload with its trailer rewritten
// to fit its deflate data, which takes the comparison past the checksum test.
//
// The payload is also read as a recipe for a literal-only stream (literal_stream_recipe.h):
// our encoder's or zlib's stream of data from the input, mutated or not, is checked against
// zlib the same way, so that the decoder's literal stage meets valid streams of every block
// type and near misses of them. An unmutated one that fits the frame must be taken by the
// literal stage, not given up to the general engine.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "codecs/deflate/deflate_codec.h"
#include "fuzz/codec_decode_check.h"
#include "fuzz/literal_stream_recipe.h"
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

// The payload as given and with its trailer repaired, against zlib.
void check_payload(quorvel::DeflateCodec& codec, const std::vector<uint8_t>& payload,
                   const quorvel::FuzzFrameShape& shape) {
  mark_outcome(quorvel::check_against_zlib(codec, payload, shape));
  const std::vector<uint8_t> repaired =
      quorvel::with_repaired_trailer(payload, static_cast<size_t>(shape.frame_bytes()));
  if (!repaired.empty()) mark_outcome(quorvel::check_against_zlib(codec, repaired, shape));
}

// A valid stream of data that fits the frame is the literal stage's, whoever wrote it.
void check_taken(quorvel::DeflateCodec& codec, const quorvel::LiteralStreamRecipe& made,
                 const quorvel::FuzzFrameShape& shape) {
  if (made.mutated || made.stream.empty() ||
      made.data.size() > static_cast<size_t>(shape.frame_bytes())) {
    return;
  }
  const std::unique_ptr<uint8_t[]> stream(new uint8_t[made.stream.size()]);
  std::memcpy(stream.get(), made.stream.data(), made.stream.size());
  std::vector<uint8_t> out(static_cast<size_t>(shape.frame_bytes()));
  const quorvel::LiteralInflateResult result = codec.inflater->literal_stage().inflate(
      stream.get(), static_cast<uint32_t>(made.stream.size()), out.data(),
      static_cast<uint32_t>(out.size()));
  if (result.status != quorvel::LiteralInflateStatus::kComplete ||
      result.produced != made.data.size() ||
      (!made.data.empty() && std::memcmp(out.data(), made.data.data(), made.data.size()) != 0)) {
    __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::unique_ptr<quorvel::DeflateCodec> codec = quorvel::DeflateCodec::create();
  quorvel::check_decode(*codec, data, size);

  quorvel::FuzzInput input(data, size);
  const quorvel::FuzzFrameShape shape = quorvel::take_frame_shape(input);
  const std::vector<uint8_t> payload(input.data(), input.data() + input.size());
  check_payload(*codec, payload, shape);

  const quorvel::LiteralStreamRecipe made =
      quorvel::make_literal_stream(input, static_cast<size_t>(shape.frame_bytes()));
  check_taken(*codec, made, shape);
  std::vector<uint8_t> built = made.stream;
  built.resize(built.size() + 4);  // the checksum copy, not read
  check_payload(*codec, built, shape);
  return 0;
}
