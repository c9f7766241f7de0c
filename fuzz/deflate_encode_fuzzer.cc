// Fuzz target for DeflateCodec::encode, judged by zlib. The input is a picture, then the
// frame shape (the five bytes before the last) and a fill byte f (the last): the picture is
// repeated to fill the frame, each of its bytes stretched into a run of f + 1 bytes (runs
// give the skewed counts and long codes of filtered frames).
// Traps unless encode leaves the filtered frame in the caller's buffer, the payload fits
// output_block_size, zlib's inflate of the payload gives back exactly the filtered bytes
// and ends its stream 4 bytes before the payload does, and the stream's trailer and the
// copy after it hold the Adler-32 of those bytes.
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <memory>

#include "codecs/deflate/deflate_codec.h"
#include "codecs/vertical_delta.h"
#include "fuzz/frame_shape_param.h"
#include "fuzz/fuzz_input.h"
#include "fuzz/round_trip_check.h"
#include "util/big_endian.h"
#include "util/little_endian.h"

namespace quorvel {
namespace {

using Bytes = FuzzBytes;
constexpr auto require = fuzz_require;

Bytes fill_frame(FuzzInput& input, const FuzzFrameShape& shape, uint8_t fill) {
  Bytes frame(static_cast<size_t>(shape.frame_bytes()));
  if (input.size() == 0) return frame;
  const size_t run = static_cast<size_t>(fill) + 1;
  for (size_t i = 0; i < frame.size(); ++i) frame[i] = input.data()[(i / run) % input.size()];
  return frame;
}

void check_stream(const Bytes& payload, const Bytes& filtered) {
  require(payload.size() >= 11);
  require(payload[0] == 0x78 && payload[1] == 0x01);
  Bytes inflated(filtered.size() + 1);
  z_stream z{};
  require(inflateInit(&z) == Z_OK);
  z.next_in = const_cast<Bytef*>(payload.data());
  z.avail_in = static_cast<uInt>(payload.size());
  z.next_out = inflated.data();
  z.avail_out = static_cast<uInt>(inflated.size());
  const int result = inflate(&z, Z_FINISH);
  const uLong consumed = z.total_in;
  const uLong produced = z.total_out;
  inflateEnd(&z);
  require(result == Z_STREAM_END);
  require(consumed == payload.size() - 4);
  require(produced == filtered.size());
  inflated.resize(produced);
  require(inflated == filtered);

  const auto adler = static_cast<uint32_t>(
      adler32(adler32(0, nullptr, 0), filtered.data(), static_cast<uInt>(filtered.size())));
  require(get_be32(&payload[payload.size() - 8]) == adler);
  require(get_le32(&payload[payload.size() - 4]) == adler);
}

}  // namespace
}  // namespace quorvel

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace quorvel;
  static const std::unique_ptr<DeflateCodec> codec = DeflateCodec::create();

  FuzzInput input(data, size);
  const uint8_t fill = input.take_byte();
  const FuzzFrameShape shape = take_frame_shape(input);
  const Bytes frame = fill_frame(input, shape, fill);
  Bytes filtered = frame;
  VerticalDelta::forward_reference(filtered.data(), shape.row_bytes, shape.rows, shape.pitch);

  Bytes work = frame;
  const int32_t length = codec->encode(work.data(), shape.row_bytes, shape.rows, shape.pitch);
  require(length > 0 && length <= DeflateCodec::output_block_size(shape.frame_bytes()));
  require(work == filtered);
  check_stream(take_block(*codec, length), filtered);
  return 0;
}
