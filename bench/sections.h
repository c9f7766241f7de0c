// The sections of a quorvel-bench run, each printing its own table: codecs against the
// bare library calls and memcpy, then the session over 127.0.0.1 against bare sockets.
#ifndef QUORVEL_BENCH_SECTIONS_H_
#define QUORVEL_BENCH_SECTIONS_H_

#include "bench/bench_context.h"

namespace quorvel::bench {

// Each returns false when something that must work did not (a round trip that does not give
// the frame back, a server that does not answer); speed alone never fails a section.
bool run_delta_section(const BenchContext& context);
bool run_lzo_section(const BenchContext& context);
bool run_deflate_section(const BenchContext& context);
bool run_fano_section(const BenchContext& context);
bool run_loopback_section(const BenchContext& context);
bool run_fetch_section(const BenchContext& context);
bool run_round_trip_section(const BenchContext& context);
bool run_memory_section(const BenchContext& context);
bool run_plugin_section(const BenchContext& context);
bool run_clients_section(const BenchContext& context);

}  // namespace quorvel::bench

#endif  // QUORVEL_BENCH_SECTIONS_H_
