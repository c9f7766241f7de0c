// Fuzz target for DeflateCodec::decode: payload first, frame shape in the last five bytes.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "codecs/deflate_codec.h"
#include "fuzz/codec_decode_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::unique_ptr<quorvel::DeflateCodec> codec = quorvel::DeflateCodec::create();
  quorvel::check_decode(*codec, data, size);
  return 0;
}
