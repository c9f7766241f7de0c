#include "bench/deflate_stage_comparison.h"

#include <zlib.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bench/built_codecs.h"
#include "bench/frame_ring.h"
#include "bench/report_table.h"
#include "codecs/deflate/deflate_codec.h"
#include "codecs/deflate/stream_inflater.h"

namespace quorvel::bench {

namespace {

constexpr int32_t kChecksumCopyBytes = 4;

// The zlib stream of the codec's payload of the frame; empty when the codec gives none.
std::vector<uint8_t> codec_stream(const BenchFrame& frame) {
  const std::unique_ptr<DeflateCodec> codec = DeflateCodec::create();
  if (codec == nullptr) return {};
  std::vector<uint8_t> work = frame.bytes;
  const int32_t length =
      codec->encode(work.data(), frame.row_bytes(), frame.height, frame.row_bytes());
  std::vector<uint8_t> stream;
  if (length > kChecksumCopyBytes && codec->output_buffer != nullptr) {
    stream.assign(codec->output_buffer, codec->output_buffer + (length - kChecksumCopyBytes));
  }
  codec->release_output();
  return stream;
}

const char* status_name(LiteralInflateStatus status) {
  switch (status) {
    case LiteralInflateStatus::kComplete:
      return "takes the stream";
    case LiteralInflateStatus::kBadHeader:
      return "NOT TAKEN: header";
    case LiteralInflateStatus::kBadBlock:
      return "NOT TAKEN: block";
    case LiteralInflateStatus::kNotLiteral:
      return "NOT TAKEN: length symbol";
    case LiteralInflateStatus::kTruncated:
      return "NOT TAKEN: truncated";
    case LiteralInflateStatus::kOverrun:
      return "NOT TAKEN: overrun";
    case LiteralInflateStatus::kChecksumMismatch:
      return "NOT TAKEN: checksum";
  }
  return "?";
}

using Inflate = InflateOutcome (*)(StreamInflater*, const uint8_t*, uint32_t, uint8_t*, uint32_t);

InflateOutcome with_zlib(StreamInflater*, const uint8_t* stream, uint32_t length, uint8_t* out,
                         uint32_t capacity) {
  static z_stream record;
  return inflate_zlib_stream(&record, stream, length, out, capacity);
}

InflateOutcome with_engine(StreamInflater* inflater, const uint8_t* stream, uint32_t length,
                           uint8_t* out, uint32_t capacity) {
  return inflater->inflate_with_engine(stream, length, out, capacity);
}

InflateOutcome with_literal_stage(StreamInflater* inflater, const uint8_t* stream, uint32_t length,
                                  uint8_t* out, uint32_t capacity) {
  const LiteralInflateResult result =
      inflater->literal_stage().inflate(stream, length, out, capacity);
  return {result.status == LiteralInflateStatus::kComplete ? Z_STREAM_END : Z_DATA_ERROR,
          result.produced};
}

bool gives_back(Inflate inflate, StreamInflater* inflater, const std::vector<uint8_t>& stream,
                const std::vector<uint8_t>& filtered) {
  std::vector<uint8_t> out(filtered.size());
  const InflateOutcome outcome =
      inflate(inflater, stream.data(), static_cast<uint32_t>(stream.size()), out.data(),
              static_cast<uint32_t>(out.size()));
  return outcome.status == Z_STREAM_END && outcome.produced == out.size() && out == filtered;
}

void measure(const BenchContext& context, const BenchFrame& frame,
             const std::vector<uint8_t>& stream, StreamInflater* inflater, CacheState cache,
             const char* literal_status, ReportTable* table) {
  FrameRing streams(stream, cache);
  FrameRing outputs(frame.bytes, cache);
  const auto length = static_cast<uint32_t>(stream.size());
  const auto n = static_cast<uint32_t>(frame.bytes.size());
  auto workload = [&](Inflate inflate) {
    return Workload{[&, inflate](int round) {
                      inflate(inflater, streams.slot(round), length, outputs.slot(round), n);
                    },
                    nullptr};
  };
  const std::vector<double> seconds =
      time_interleaved({workload(with_zlib), workload(with_engine), workload(with_literal_stage)},
                       context.codec_budget());
  const std::string cache_name = cache_state_name(cache);
  const double bytes = static_cast<double>(n);
  table->add(ReportRow("zlib inflate", frame.name, cache_name, seconds[0], bytes));
  table->add(ReportRow(std::string(StreamInflater::engine_name()) + " (general engine alone)",
                       frame.name, cache_name, seconds[1], bytes)
                 .with_ratio(seconds[1] / seconds[0], Target::none()));
  ReportRow literal("LiteralInflater (literal stage alone)", frame.name, cache_name, seconds[2],
                    bytes);
  literal.detail = literal_status;
  table->add(literal.with_ratio(seconds[2] / seconds[0], Target::none()));
}

}  // namespace

bool run_deflate_stage_comparison(const BenchContext& context) {
  ReportTable table("Deflate decode stages on the codec's own stream (no filter)",
                    "stage time / zlib inflate time on the same stream");
  const std::unique_ptr<StreamInflater> inflater = StreamInflater::create();
  if (inflater == nullptr) return false;
  bool ok = true;
  for (const BenchFrame& frame : context.frames) {
    const std::vector<uint8_t> filtered = filtered_copy(frame.bytes, frame.row_bytes());
    const std::vector<uint8_t> stream = codec_stream(frame);
    std::vector<uint8_t> out(filtered.size());
    const LiteralInflateStatus literal_status =
        inflater->literal_stage()
            .inflate(stream.data(), static_cast<uint32_t>(stream.size()), out.data(),
                     static_cast<uint32_t>(out.size()))
            .status;
    if (stream.empty() || !gives_back(with_zlib, inflater.get(), stream, filtered) ||
        !gives_back(with_engine, inflater.get(), stream, filtered) ||
        (literal_status == LiteralInflateStatus::kComplete &&
         !gives_back(with_literal_stage, inflater.get(), stream, filtered))) {
      std::fprintf(stderr, "quorvel-bench: deflate stages on %s: the frame does not come back\n",
                   frame.name.c_str());
      ok = false;
      continue;
    }
    for (CacheState cache : context.cache_states(false)) {
      measure(context, frame, stream, inflater.get(), cache, status_name(literal_status), &table);
    }
  }
  table.print();
  return ok;
}

}  // namespace quorvel::bench
