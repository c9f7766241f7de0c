// VerticalDelta forward and inverse against memcpy of the same frame: the filter reads and
// writes every byte once, so a copy of the frame is the speed it can hope for.
#include <cstdio>
#include <cstring>
#include <vector>

#include "bench/built_codecs.h"
#include "bench/frame_ring.h"
#include "bench/report_table.h"
#include "bench/sections.h"

namespace quorvel::bench {

namespace {

// The filter must give the frame back; checked once per frame before timing.
bool delta_round_trips(const BenchFrame& frame) {
  std::vector<uint8_t> work = frame.bytes;
  delta_forward(work.data(), frame.row_bytes(), frame.height);
  delta_inverse(work.data(), frame.row_bytes(), frame.height);
  return work == frame.bytes;
}

void measure(const BenchContext& context, const BenchFrame& frame, CacheState cache,
             ReportTable* table) {
  const std::vector<uint8_t> filtered = filtered_copy(frame.bytes, frame.row_bytes());
  FrameRing copy_from(frame.bytes, cache);
  FrameRing copy_to(frame.bytes, cache);
  FrameRing forward_frames(frame.bytes, cache);
  FrameRing inverse_frames(filtered, cache);
  const size_t n = frame.bytes.size();
  const int32_t row_bytes = frame.row_bytes();
  const int32_t rows = frame.height;
  const std::vector<Workload> workloads = {
      {[&](int round) { std::memcpy(copy_to.slot(round), copy_from.slot(round), n); }, nullptr},
      {[&](int round) { delta_forward(forward_frames.slot(round), row_bytes, rows); },
       [&](int round) { forward_frames.restore(round); }},
      {[&](int round) { delta_inverse(inverse_frames.slot(round), row_bytes, rows); },
       [&](int round) { inverse_frames.restore(round); }},
  };
  const std::vector<double> seconds = time_interleaved(workloads, context.codec_budget());
  const Target target = judged(frame, cache) ? Target::at_most(1.0) : Target::none();
  const std::string cache_name = cache_state_name(cache);
  const double bytes = static_cast<double>(n);
  table->add(ReportRow("memcpy", frame.name, cache_name, seconds[0], bytes));
  table->add(ReportRow("VerticalDelta::forward", frame.name, cache_name, seconds[1], bytes)
                 .with_ratio(seconds[1] / seconds[0], target));
  table->add(ReportRow("VerticalDelta::inverse", frame.name, cache_name, seconds[2], bytes)
                 .with_ratio(seconds[2] / seconds[0], target));
}

}  // namespace

bool run_delta_section(const BenchContext& context) {
  ReportTable table("Vertical delta against memcpy of the same frame (cold: rings of " +
                        std::to_string(cold_ring_bytes() >> 20) + " MiB and more)",
                    "filter time / memcpy time");
  bool ok = true;
  for (const BenchFrame& frame : context.frames) {
    if (!delta_round_trips(frame)) {
      std::fprintf(stderr, "quorvel-bench: VerticalDelta does not give %s back\n",
                   frame.name.c_str());
      ok = false;
    }
    for (CacheState cache : context.cache_states(true)) measure(context, frame, cache, &table);
  }
  table.print();
  return ok;
}

}  // namespace quorvel::bench
