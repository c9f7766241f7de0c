// Differential fuzz target: lzo1x_expand against liblzo2's lzo1x_decompress_safe. Traps when
// lzo1x_expand accepts a stream that liblzo2 does not decode to the same bytes, or declines
// a stream that liblzo2's compressor made, undamaged, into a buffer that holds it.
//
// Parameters from the end of the input: a mode byte (bit 0: the bytes are data to compress
// first; bit 1: the data is repeated to the length in the next two bytes, for long matches
// and runs), the output capacity's offset from the data's length (one byte, -128 to 127;
// a stream that is not compressed here gets the offset plus 256 bytes), and for a
// compressed stream a byte to damage (two bytes, 0 = none) and what to XOR into it.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "codecs/codec_factory.h"
#include "codecs/lzo_api.h"
#include "codecs/lzo_expand.h"
#include "fuzz/fuzz_input.h"
#include "fuzz/round_trip_check.h"

namespace quorvel {
namespace {

using Bytes = FuzzBytes;
constexpr auto require = fuzz_require;

Bytes repeated(const uint8_t* data, size_t size, size_t length) {
  Bytes bytes(length);
  for (size_t i = 0; i < length && size != 0; ++i) bytes[i] = data[i % size];
  return bytes;
}

Bytes compressed(const Bytes& data) {
  static std::vector<uint8_t> work(LZO1X_1_MEM_COMPRESS);
  Bytes stream(data.size() + data.size() / 16 + 64 + 3);
  lzo_uint length = 0;
  require(lzo1x_1_compress(data.data(), data.size(), stream.data(), &length, work.data()) ==
          LZO_E_OK);
  stream.resize(length);
  return stream;
}

// Both decoders get buffers of exactly their sizes, so a sanitizer sees any step outside.
void compare(const Bytes& stream, size_t capacity, bool must_accept) {
  const std::unique_ptr<uint8_t[]> in(new uint8_t[stream.size()]);
  if (!stream.empty()) std::memcpy(in.get(), stream.data(), stream.size());
  const std::unique_ptr<uint8_t[]> fast(new uint8_t[capacity]);
  const std::unique_ptr<uint8_t[]> reference(new uint8_t[capacity]);
  size_t fast_len = 0;
  const bool accepted = lzo1x_expand(in.get(), stream.size(), fast.get(), capacity, &fast_len);
  lzo_uint reference_len = capacity;
  const int result =
      lzo1x_decompress_safe(in.get(), stream.size(), reference.get(), &reference_len, nullptr);
  require(accepted || !must_accept);
  if (!accepted) return;
  require(result == LZO_E_OK && fast_len == reference_len);
  require(std::memcmp(fast.get(), reference.get(), fast_len) == 0);
}

}  // namespace
}  // namespace quorvel

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace quorvel;
  static const bool ready = (init_codec_libraries(), true);
  (void)ready;
  FuzzInput input(data, size);
  const uint8_t mode = input.take_byte();
  const int offset = static_cast<int>(input.take_byte()) - 128;
  if ((mode & 1) == 0) {
    const Bytes stream(input.data(), input.data() + input.size());
    compare(stream, static_cast<size_t>(256 + offset), false);
    return 0;
  }
  const size_t length = (mode & 2) != 0 ? input.take_u16() : 0;
  const uint16_t damaged = input.take_u16();
  const uint8_t flip = input.take_byte();
  const Bytes plain = (mode & 2) != 0 ? repeated(input.data(), input.size(), length)
                                      : Bytes(input.data(), input.data() + input.size());
  Bytes stream = compressed(plain);
  const bool intact = damaged == 0 || flip == 0;
  if (!intact) stream[(damaged - 1u) % stream.size()] ^= flip;
  const long capacity = static_cast<long>(plain.size()) + offset;
  if (capacity < 0) return 0;
  compare(stream, static_cast<size_t>(capacity), intact && offset >= 0);
  return 0;
}
