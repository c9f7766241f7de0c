#include "bench/built_codecs.h"

#include "codecs/codec_factory.h"
#include "codecs/codec_table.h"
#include "codecs/vertical_delta.h"

namespace quorvel::bench {

std::unique_ptr<FrameCodec> make_bench_codec(CompressionType type) {
  init_codec_libraries();
  return make_codec(type);
}

const char* codec_class_name(CompressionType type) {
  const CodecRow* row = codec_row(type);
  return row != nullptr ? row->class_name : "?";
}

void delta_forward(uint8_t* frame, int32_t row_bytes, int32_t rows) {
  VerticalDelta::forward(frame, row_bytes, rows, row_bytes);
}

void delta_inverse(uint8_t* frame, int32_t row_bytes, int32_t rows) {
  VerticalDelta::inverse(frame, row_bytes, rows, row_bytes);
}

std::vector<uint8_t> filtered_copy(const std::vector<uint8_t>& frame, int32_t row_bytes) {
  std::vector<uint8_t> filtered = frame;
  delta_forward(filtered.data(), row_bytes, static_cast<int32_t>(frame.size()) / row_bytes);
  return filtered;
}

}  // namespace quorvel::bench
