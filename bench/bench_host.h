// The stand-in host that the session serves from in quorvel-bench: one frame of the frame
// table for every frame number, and silent audio. It does as little as a host can, so the
// figures are the server's own: with copies off the host hands out the same frame buffer
// every time (the raw codec only reads it); with copies on it first restores the frame
// into its buffer, since a compressing codec filters that buffer in place.
#ifndef QUORVEL_BENCH_BENCH_HOST_H_
#define QUORVEL_BENCH_BENCH_HOST_H_

#include "bench/bench_frame.h"
#include "server/host_abi.h"

namespace quorvel::bench {

// REQUIRES: one host per process (the callbacks take no context); the frame outlives it.
HostOutputInfo make_bench_host(const BenchFrame& frame, bool copy_each_frame);

// Audio the host gives per request at most; larger requests get the rest as zeros.
constexpr int32_t kBenchAudioBytes = 1 << 20;

}  // namespace quorvel::bench

#endif  // QUORVEL_BENCH_BENCH_HOST_H_
