// The stages of DeflateCodec::decode apart, on the codec's own payload of each frame (the
// stream alone, no filter): zlib's inflate as the anchor, the build's general engine alone
// (what decode was before the literal stage), and the literal stage alone, with whether it
// took the stream. Part of the deflate section of quorvel-bench and quorvel-codec-bench.
#ifndef QUORVEL_BENCH_DEFLATE_STAGE_COMPARISON_H_
#define QUORVEL_BENCH_DEFLATE_STAGE_COMPARISON_H_

#include "bench/bench_context.h"

namespace quorvel::bench {

// Prints the table; false when a stage does not give a frame's filtered bytes back.
bool run_deflate_stage_comparison(const BenchContext& context);

}  // namespace quorvel::bench

#endif  // QUORVEL_BENCH_DEFLATE_STAGE_COMPARISON_H_
