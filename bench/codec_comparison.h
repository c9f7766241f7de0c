// One codec of ours against the bare library call that does the same job, frame by frame,
// cold and hot: encode against "filter + bare compress", decode against "bare decompress +
// inverse filter", on the same frame, interleaved in one run; and the payload sizes (for a
// codec with a size target, its payload against the bare output, judged like a speed).
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
  // The codec's payload starts with exactly the bare compressor's bytes (LZO): checked once
  // per frame, so a codec that drifts from its library call is caught.
  bool payload_is_bare_output;
  // Payload bytes / (bare output + appended bytes), where the codec has its own encoder for
  // the library's format (deflate: the bare output plus the 4-byte checksum copy). The
  // ratio gets a row of its own; Target::none() prints no such row.
  Target size_target = Target::none();
  int32_t appended_bytes = 0;
  // The codec decodes the library's format with another decoder (deflate: libdeflate): the
  // anchor's decompressor is also timed on the codec's own payload (without the appended
  // bytes), and the codec's decode ratio is taken against that, payload for payload.
  bool anchor_decodes_codec_payload = false;
  // Printed after the codec's decode figures, e.g. which decoder the build uses.
  std::string decode_detail = {};
};

// Prints the section's table; false when a codec's round trip or payload check fails.
bool run_codec_comparison(const BenchContext& context, const CodecComparison& comparison);

}  // namespace quorvel::bench

#endif  // QUORVEL_BENCH_CODEC_COMPARISON_H_
