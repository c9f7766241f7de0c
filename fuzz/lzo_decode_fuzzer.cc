// Fuzz target for LzoCodec::decode: payload first, frame shape in the last five bytes.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "codecs/codec_factory.h"
#include "codecs/lzo_codec.h"
#include "fuzz/codec_decode_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::unique_ptr<quorvel::LzoCodec> codec = [] {
    quorvel::init_codec_libraries();
    return quorvel::LzoCodec::create();
  }();
  quorvel::check_decode(*codec, data, size);
  return 0;
}
