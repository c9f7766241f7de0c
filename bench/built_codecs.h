// The codecs as the benchmark makes them, their class names for the report, and the vertical
// delta on packed frames.
#ifndef QUORVEL_BENCH_BUILT_CODECS_H_
#define QUORVEL_BENCH_BUILT_CODECS_H_

#include <cstdint>
#include <memory>
#include <vector>

#include "codecs/frame_codec.h"
#include "wire/compression_type.h"

namespace quorvel::bench {

// A codec of the type with the compression libraries initialised; null only when it cannot
// be allocated.
std::unique_ptr<FrameCodec> make_bench_codec(CompressionType type);
const char* codec_class_name(CompressionType type);

// VerticalDelta on a packed frame.
void delta_forward(uint8_t* frame, int32_t row_bytes, int32_t rows);
void delta_inverse(uint8_t* frame, int32_t row_bytes, int32_t rows);

// The frame as VerticalDelta::forward leaves it.
std::vector<uint8_t> filtered_copy(const std::vector<uint8_t>& frame, int32_t row_bytes);

}  // namespace quorvel::bench

#endif  // QUORVEL_BENCH_BUILT_CODECS_H_
