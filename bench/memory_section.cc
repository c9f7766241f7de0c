// The server's resident set over 10,000 frames with codec switches: a session serves a real
// frame (read-ahead on), the client switches codec every 250 frames (LZO, Fano, deflate in
// turn, after a raw start), and the server process's VmRSS and VmHWM are read from /proc
// as it goes. A codec that leaks a block, or a heap that keeps growing, shows as a peak
// that still climbs after the first round of codecs.
#include <cstdio>
#include <string>
#include <vector>

#include "bench/bare_client.h"
#include "bench/built_codecs.h"
#include "bench/child_modes.h"
#include "bench/report_table.h"
#include "bench/sections.h"
#include "bench/server_process.h"
#include "codecs/codec_table.h"

namespace quorvel::bench {

namespace {

constexpr int kFramesPerCodec = 250;
constexpr int kSampleEvery = 1000;
// After raw, LZO, Fano and deflate have each served once, every block size has been seen.
constexpr int kSettledAfter = 1000;

struct Sample {
  int frames;
  int64_t rss_kib;
  int64_t peak_kib;
};

const BenchFrame* memory_frame(const BenchContext& context) {
  for (const char* name : {"cam_720x480", "gradient_720x480"}) {
    for (const BenchFrame& frame : context.frames) {
      if (frame.name == name) return &frame;
    }
  }
  return context.frames.empty() ? nullptr : &context.frames.front();
}

// The codec for the next stretch of frames: raw first, then the compressing codecs in turn.
uint8_t next_mask(int stretch) {
  constexpr size_t kCompressing = sizeof kCodecTable / sizeof kCodecTable[0] - 1;
  return static_cast<uint8_t>(
      kCodecTable[1 + static_cast<size_t>(stretch - 1) % kCompressing].type);
}

}  // namespace

bool run_memory_section(const BenchContext& context) {
  const BenchFrame* frame = memory_frame(context);
  if (frame == nullptr) {
    std::printf("\n== Server memory: n/a (no frame to serve)\n");
    return true;
  }
  // The full run serves the 10,000 frames the target is stated for; the quick run 4,000,
  // which still sees every codec five times.
  const int total = context.smoke ? 2 * kFramesPerCodec : context.quick ? 4000 : 10000;
  const ChildOptions options = context.child_options("session", frame->name);
  ServerProcess server(context.self_path, options.arguments());
  BareClient client(server.port());
  if (!client.connected()) {
    std::fprintf(stderr, "quorvel-bench: memory: the server did not start\n");
    return false;
  }
  std::vector<Sample> samples;
  bool ok = true;
  for (int n = 0; ok && n < total; ++n) {
    if (n > 0 && n % kFramesPerCodec == 0)
      ok = client.set_compression(next_mask(n / kFramesPerCodec));
    ok = ok && client.get_frame(n);
    if ((n + 1) % kSampleEvery == 0 || n + 1 == total) {
      samples.push_back({n + 1, server.status_kib("VmRSS"), server.status_kib("VmHWM")});
    }
  }
  client.disconnect();

  std::printf("\n== Server memory over %d frames of %s, codec switch every %d frames\n", total,
              frame->name.c_str(), kFramesPerCodec);
  std::printf("%10s %12s %12s\n", "frames", "VmRSS KiB", "VmHWM KiB");
  for (const Sample& sample : samples) {
    std::printf("%10d %12lld %12lld\n", sample.frames, static_cast<long long>(sample.rss_kib),
                static_cast<long long>(sample.peak_kib));
  }
  ReportRow row("server peak RSS, end / after 1,000", frame->name);
  row.target = Target::at_most(1.02);
  int64_t settled_peak = -1;
  for (const Sample& sample : samples) {
    if (sample.frames >= kSettledAfter && settled_peak < 0) settled_peak = sample.peak_kib;
  }
  if (!ok || samples.empty() || settled_peak <= 0) {
    row.note = ok ? "n/a (too few frames)" : "failed";
  } else {
    row.ratio = static_cast<double>(samples.back().peak_kib) / static_cast<double>(settled_peak);
    std::printf("peak after %d frames %lld KiB, at the end %lld KiB (ratio %.3f, target <= 1.02)\n",
                kSettledAfter, static_cast<long long>(settled_peak),
                static_cast<long long>(samples.back().peak_kib), row.ratio);
  }
  ReportTable::record(row);
  std::fflush(stdout);
  if (!ok) std::fprintf(stderr, "quorvel-bench: memory: a request failed\n");
  return ok;
}

}  // namespace quorvel::bench
