// The zlib engine: the stream record, kept for the codec's life, set up afresh per stream.
#include <cstdlib>

#include "codecs/deflate/stream_inflater.h"

namespace quorvel {

struct StreamInflater::Engine {
  z_stream record;
};

StreamInflater::Engine* StreamInflater::create_engine() {
  return static_cast<Engine*>(std::malloc(sizeof(Engine)));
}

void StreamInflater::destroy_engine(Engine* engine) {
  std::free(engine);
}

InflateOutcome StreamInflater::inflate_with_engine(const uint8_t* stream, uint32_t stream_length,
                                                   uint8_t* out, uint32_t capacity) {
  return inflate_zlib_stream(&engine_->record, stream, stream_length, out, capacity);
}

const char* StreamInflater::engine_name() {
  return "zlib";
}

}  // namespace quorvel
