// Fuzz target for DeflateCodec::decode: payload first, frame shape in the last five bytes.
// Besides the codec's own checks (no over-read, a whole frame back), its frame and status
// must be zlib's for the payload as given and for the payload with its trailer rewritten
// to fit its deflate data, which takes the comparison past the checksum test.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "codecs/deflate_codec.h"
#include "fuzz/codec_decode_check.h"
#include "fuzz/stream_trailer_repair.h"
#include "fuzz/zlib_reference_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::unique_ptr<quorvel::DeflateCodec> codec = quorvel::DeflateCodec::create();
  quorvel::check_decode(*codec, data, size);

  quorvel::FuzzInput input(data, size);
  const quorvel::FuzzFrameShape shape = quorvel::take_frame_shape(input);
  const std::vector<uint8_t> payload(input.data(), input.data() + input.size());
  quorvel::check_against_zlib(*codec, payload, shape);
  const std::vector<uint8_t> repaired =
      quorvel::with_repaired_trailer(payload, static_cast<size_t>(shape.frame_bytes()));
  if (!repaired.empty()) quorvel::check_against_zlib(*codec, repaired, shape);
  return 0;
}
