// The zlib engine: the stream record, kept for the codec's life, set up afresh per stream.
#include <cstdlib>
#include <new>

#include "codecs/deflate/stream_inflater.h"

namespace quorvel {

struct StreamInflater::Engine {
  z_stream record;
};

std::unique_ptr<StreamInflater> StreamInflater::create() {
  auto* engine = static_cast<Engine*>(std::malloc(sizeof(Engine)));
  if (engine == nullptr) return nullptr;
  std::unique_ptr<StreamInflater> inflater(new (std::nothrow) StreamInflater(engine));
  if (inflater == nullptr) std::free(engine);
  return inflater;
}

StreamInflater::~StreamInflater() {
  std::free(engine_);
}

InflateOutcome StreamInflater::inflate(const uint8_t* stream, uint32_t stream_length, uint8_t* out,
                                       uint32_t capacity) {
  return inflate_zlib_stream(&engine_->record, stream, stream_length, out, capacity);
}

const char* StreamInflater::engine_name() {
  return "zlib";
}

}  // namespace quorvel
