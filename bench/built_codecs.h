// The codecs that this build has. quorvel-bench builds whatever codecs exist yet and prints
// "n/a (not built)" for the others; CMake defines QUORVEL_BENCH_HAVE_<CODEC> for each codec
// source that the codecs library lists.
#ifndef QUORVEL_BENCH_BUILT_CODECS_H_
#define QUORVEL_BENCH_BUILT_CODECS_H_

#include <cstdint>
#include <memory>
#include <vector>

#include "codecs/compression_type.h"
#include "codecs/frame_codec.h"

namespace quorvel::bench {

constexpr const char* kNotBuilt = "n/a (not built)";

bool have_vertical_delta();
bool have_codec(CompressionType type);
// Null when the codec is not built (or cannot be allocated). The raw codec is always there.
std::unique_ptr<FrameCodec> make_bench_codec(CompressionType type);
const char* codec_class_name(CompressionType type);

// VerticalDelta on a packed frame; REQUIRES: have_vertical_delta().
void delta_forward(uint8_t* frame, int32_t row_bytes, int32_t rows);
void delta_inverse(uint8_t* frame, int32_t row_bytes, int32_t rows);

// The frame as VerticalDelta::forward leaves it. REQUIRES: have_vertical_delta().
std::vector<uint8_t> filtered_copy(const std::vector<uint8_t>& frame, int32_t row_bytes);

}  // namespace quorvel::bench

#endif  // QUORVEL_BENCH_BUILT_CODECS_H_
