// The Fano payload decoder against its one-code-per-look-up form, on the payloads of the
// run's frames: part of the fano section of quorvel-bench and quorvel-codec-bench.
#ifndef QUORVEL_BENCH_FANO_EXPAND_COMPARISON_H_
#define QUORVEL_BENCH_FANO_EXPAND_COMPARISON_H_

#include "bench/bench_context.h"

namespace quorvel::bench {

// Prints the table; false when a decoder does not give a frame's filtered bytes back.
bool run_fano_expand_comparison(const BenchContext& context);

}  // namespace quorvel::bench

#endif  // QUORVEL_BENCH_FANO_EXPAND_COMPARISON_H_
