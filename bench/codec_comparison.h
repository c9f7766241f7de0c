// One codec of ours against the bare library call that does the same job, frame by frame,
// cold and hot: encode against "filter + bare compress", decode against "bare decompress +
// inverse filter", on the same frame, interleaved in one run; and the payload sizes.
#ifndef QUORVEL_BENCH_CODEC_COMPARISON_H_
#define QUORVEL_BENCH_CODEC_COMPARISON_H_

#include <string>

#include "bench/bare_coder.h"
#include "bench/bench_context.h"
#include "bench/report_table.h"
#include "wire/compression_type.h"

namespace quorvel::bench {

struct CodecComparison {
  std::string title;
  CompressionType type;
  BareCoder* anchor;
  Target encode_target;
  Target decode_target;
  // The codec's payload starts with exactly the bare compressor's bytes (LZO, deflate):
  // checked once per frame, so a codec that drifts from its library call is caught.
  bool payload_is_bare_output;
};

// Prints the section's table; false when a codec's round trip or payload check fails.
bool run_codec_comparison(const BenchContext& context, const CodecComparison& comparison);

}  // namespace quorvel::bench

#endif  // QUORVEL_BENCH_CODEC_COMPARISON_H_
