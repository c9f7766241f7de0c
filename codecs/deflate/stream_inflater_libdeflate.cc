// The libdeflate engine. libdeflate decodes the whole stream in one call and checks its
// header and Adler-32 trailer, but on a refusal says neither how far it got nor why, and
// leaves the block undefined. Refusals are rare (a damaged or hostile payload), so zlib
// then inflates the stream again: the frame and the status are exactly what zlib gives.
#include <libdeflate.h>

#include <cstdlib>

#include "codecs/deflate/stream_inflater.h"

namespace quorvel {

struct StreamInflater::Engine {
  libdeflate_decompressor* decompressor;
  z_stream record;  // for the streams libdeflate refuses
};

StreamInflater::Engine* StreamInflater::create_engine() {
  auto* engine = static_cast<Engine*>(std::malloc(sizeof(Engine)));
  if (engine == nullptr) return nullptr;
  engine->decompressor = libdeflate_alloc_decompressor();
  if (engine->decompressor == nullptr) {
    std::free(engine);
    return nullptr;
  }
  return engine;
}

void StreamInflater::destroy_engine(Engine* engine) {
  libdeflate_free_decompressor(engine->decompressor);
  std::free(engine);
}

InflateOutcome StreamInflater::inflate_with_engine(const uint8_t* stream, uint32_t stream_length,
                                                   uint8_t* out, uint32_t capacity) {
  // With actual_out_nbytes_ret a stream that ends before the block is full is accepted, as
  // inflate() accepts it; one that would overrun the block is refused (zlib: Z_BUF_ERROR).
  // Like inflate(), it stops at the end of the trailer and ignores what follows.
  size_t produced = 0;
  const libdeflate_result result = libdeflate_zlib_decompress(
      engine_->decompressor, stream, stream_length, out, capacity, &produced);
  if (result == LIBDEFLATE_SUCCESS) return {Z_STREAM_END, produced};
  return inflate_zlib_stream(&engine_->record, stream, stream_length, out, capacity);
}

const char* StreamInflater::engine_name() {
  return "libdeflate";
}

}  // namespace quorvel
