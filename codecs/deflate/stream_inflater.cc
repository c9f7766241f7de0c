#include "codecs/deflate/stream_inflater.h"

#include <new>
#include <utility>

namespace quorvel {

std::unique_ptr<StreamInflater> StreamInflater::create() {
  std::unique_ptr<LiteralInflater> literal = LiteralInflater::create();
  if (literal == nullptr) return nullptr;
  Engine* engine = create_engine();
  if (engine == nullptr) return nullptr;
  std::unique_ptr<StreamInflater> inflater(new (std::nothrow)
                                               StreamInflater(std::move(literal), engine));
  if (inflater == nullptr) destroy_engine(engine);
  return inflater;
}

StreamInflater::~StreamInflater() {
  destroy_engine(engine_);
}

InflateOutcome StreamInflater::inflate(const uint8_t* stream, uint32_t stream_length, uint8_t* out,
                                       uint32_t capacity) {
  const LiteralInflateResult literal = literal_->inflate(stream, stream_length, out, capacity);
  if (literal.status == LiteralInflateStatus::kComplete) return {Z_STREAM_END, literal.produced};
  return inflate_with_engine(stream, stream_length, out, capacity);
}

}  // namespace quorvel
