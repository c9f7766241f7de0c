// The Fano payload decoder alone: fano_expand (several codes per look-up) against
// fano_expand_one_code_per_lookup (one code per table look-up) on the payload of the same
// filtered frame, interleaved in one run, so that the speed-up is one ratio.
#include "bench/fano_expand_comparison.h"

#include <cstdio>
#include <memory>
#include <vector>

#include "bench/built_codecs.h"
#include "bench/frame_ring.h"
#include "bench/report_table.h"
#include "codecs/byte_histogram.h"
#include "codecs/fano/fano_code_builder.h"
#include "codecs/fano/fano_compress.h"
#include "codecs/fano/fano_expand_variants.h"

namespace quorvel::bench {

namespace {

// Several codes per look-up must be at least three times as fast as one.
constexpr double kTargetRatio = 1.0 / 3.0;

using Expander = FanoExpandResult (*)(const uint8_t*, uint8_t*, uint32_t, uint32_t);

std::vector<uint8_t> fano_payload(const std::vector<uint8_t>& source) {
  const uint32_t n = static_cast<uint32_t>(source.size());
  uint32_t counts[kFanoSymbolCount];
  count_bytes(source.data(), n, counts);
  FanoCodeBook code;
  if (build_fano_code(counts, &code) != FanoBuildResult::kOk) return {};
  std::vector<uint8_t> payload(static_cast<size_t>(fano_bytes_for_bits(code.stream_bits)));
  const auto pairs = std::make_unique<FanoPairCodeTable>();
  fano_compress(code, source.data(), n, payload.data(), pairs.get());
  return payload;
}

// Both decoders must give the filtered frame back; checked once per frame before timing.
bool gives_back(Expander expander, const std::vector<uint8_t>& payload,
                const std::vector<uint8_t>& source) {
  std::vector<uint8_t> decoded(source.size());
  const FanoExpandResult result =
      expander(payload.data(), decoded.data(), static_cast<uint32_t>(payload.size()),
               static_cast<uint32_t>(source.size()));
  return result.status == FanoExpandStatus::kComplete && result.bytes_written == source.size() &&
         decoded == source;
}

void measure(const BenchContext& context, const BenchFrame& frame,
             const std::vector<uint8_t>& payload, CacheState cache, ReportTable* table) {
  FrameRing payloads(payload, cache);
  FrameRing destinations(frame.bytes, cache);
  const uint32_t payload_len = static_cast<uint32_t>(payload.size());
  const uint32_t n = static_cast<uint32_t>(frame.bytes.size());
  auto workload = [&](Expander expander) {
    return Workload{[&, expander](int round) {
                      expander(payloads.slot(round), destinations.slot(round), payload_len, n);
                    },
                    nullptr};
  };
  const std::vector<double> seconds = time_interleaved(
      {workload(fano_expand_one_code_per_lookup), workload(fano_expand)}, context.codec_budget());
  const std::string cache_name = cache_state_name(cache);
  const double bytes = static_cast<double>(n);
  const Target target = judged(frame, cache) ? Target::at_most(kTargetRatio) : Target::none();
  table->add(
      ReportRow("fano_expand_one_code_per_lookup", frame.name, cache_name, seconds[0], bytes));
  table->add(ReportRow("fano_expand", frame.name, cache_name, seconds[1], bytes)
                 .with_ratio(seconds[1] / seconds[0], target));
}

}  // namespace

bool run_fano_expand_comparison(const BenchContext& context) {
  ReportTable table("Fano payload decode: several codes per look-up against one",
                    "fano_expand time / one-code-per-look-up time on the same payload");
  bool ok = true;
  for (const BenchFrame& frame : context.frames) {
    const std::vector<uint8_t> filtered = filtered_copy(frame.bytes, frame.row_bytes());
    const std::vector<uint8_t> payload = fano_payload(filtered);
    if (payload.empty() || !gives_back(fano_expand, payload, filtered) ||
        !gives_back(fano_expand_one_code_per_lookup, payload, filtered)) {
      std::fprintf(stderr, "quorvel-bench: fano_expand on %s: the frame does not come back\n",
                   frame.name.c_str());
      ok = false;
      continue;
    }
    for (CacheState cache : context.cache_states(false)) {
      measure(context, frame, payload, cache, &table);
    }
  }
  table.print();
  return ok;
}

}  // namespace quorvel::bench
