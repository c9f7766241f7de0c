#include "bench/codec_comparison.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench/built_codecs.h"
#include "bench/frame_ring.h"

namespace quorvel::bench {

namespace {

// The bytes of the frame and its payloads that a comparison needs, made once per frame.
struct Payloads {
  std::vector<uint8_t> bare;   // the anchor's compressed filtered frame
  std::vector<uint8_t> codec;  // the codec's payload; empty when the codec is not built
};

std::vector<uint8_t> take_output(FrameCodec* codec, int32_t length) {
  std::vector<uint8_t> bytes;
  if (length > 0 && codec->output_buffer != nullptr) {
    bytes.assign(codec->output_buffer, codec->output_buffer + length);
  }
  codec->release_output();
  return bytes;
}

// Encodes the frame once and decodes the payload back, checking that the frame returns
// and, where the payload is the library's own output, that it matches the bare bytes; where
// the codec has its own encoder for the library's format, that the bare decompressor gives
// the filtered frame back from it.
bool check_codec(FrameCodec* codec, const BenchFrame& frame, const CodecComparison& comparison,
                 const std::vector<uint8_t>& filtered, Payloads* payloads) {
  std::vector<uint8_t> work = frame.bytes;
  payloads->codec = take_output(
      codec, codec->encode(work.data(), frame.row_bytes(), frame.height, frame.row_bytes()));
  const char* problem = nullptr;
  if (payloads->codec.empty()) {
    problem = "encode gave no payload";
  } else if (comparison.payload_is_bare_output &&
             (payloads->codec.size() < payloads->bare.size() ||
              std::memcmp(payloads->codec.data(), payloads->bare.data(), payloads->bare.size()) !=
                  0)) {
    problem = "payload differs from the bare library's output";
  } else if (comparison.size_target.kind != Target::Kind::kNone) {
    std::vector<uint8_t> unpacked(filtered.size() + 1);
    const auto stream_length =
        static_cast<int32_t>(payloads->codec.size()) - comparison.appended_bytes;
    const int32_t produced =
        stream_length <= 0
            ? 0
            : comparison.anchor->decompress(payloads->codec.data(), stream_length, unpacked.data(),
                                            static_cast<int32_t>(unpacked.size()));
    if (produced != frame.size() ||
        std::memcmp(unpacked.data(), filtered.data(), filtered.size()) != 0) {
      problem = "the bare decompressor does not give the filtered frame back";
    }
  }
  if (problem == nullptr) {
    const int32_t rebuilt =
        codec->decode(payloads->codec.data(), frame.row_bytes(), frame.height, frame.row_bytes(),
                      static_cast<int32_t>(payloads->codec.size()));
    const bool same =
        rebuilt == frame.size() && codec->output_buffer != nullptr &&
        std::memcmp(codec->output_buffer, frame.bytes.data(), frame.bytes.size()) == 0;
    codec->release_output();
    if (!same) problem = "decode does not give the frame back";
  }
  if (problem == nullptr) return true;
  std::fprintf(stderr, "quorvel-bench: %s on %s: %s\n", codec_class_name(comparison.type),
               frame.name.c_str(), problem);
  return false;
}

double fraction(size_t part, int32_t whole) {
  return static_cast<double>(part) / whole;
}

class FrameComparison {
 public:
  FrameComparison(const BenchContext& context, const CodecComparison& comparison,
                  const BenchFrame& frame, ReportTable* table)
      : context_(context), comparison_(comparison), frame_(frame), table_(table) {}

  bool run() {
    const std::vector<uint8_t> filtered = filtered_copy(frame_.bytes, frame_.row_bytes());
    bare_out_.resize(static_cast<size_t>(comparison_.anchor->capacity(frame_.size())));
    const int32_t bare_length =
        comparison_.anchor->compress(filtered.data(), frame_.size(), bare_out_.data());
    payloads_.bare.assign(bare_out_.begin(), bare_out_.begin() + bare_length);
    decoded_.resize(frame_.bytes.size());

    codec_ = make_bench_codec(comparison_.type);
    const bool ok =
        codec_ == nullptr || check_codec(codec_.get(), frame_, comparison_, filtered, &payloads_);
    for (CacheState cache : context_.cache_states(false)) measure(cache);
    return ok;
  }

 private:
  std::string codec_name(const char* operation) const {
    return std::string(codec_class_name(comparison_.type)) + "::" + operation;
  }

  void measure(CacheState cache) {
    FrameRing anchor_frames(frame_.bytes, cache);
    FrameRing anchor_payloads(payloads_.bare, cache);
    const int32_t n = frame_.size();
    const int32_t row_bytes = frame_.row_bytes();
    const int32_t rows = frame_.height;
    BareCoder* bare = comparison_.anchor;
    std::vector<Workload> workloads = {
        {[&](int round) {
           delta_forward(anchor_frames.slot(round), row_bytes, rows);
           bare->compress(anchor_frames.slot(round), n, bare_out_.data());
         },
         [&](int round) { anchor_frames.restore(round); }},
        {[&](int round) {
           const int32_t length = static_cast<int32_t>(payloads_.bare.size());
           bare->decompress(anchor_payloads.slot(round), length, decoded_.data(), n);
           delta_inverse(decoded_.data(), row_bytes, rows);
         },
         nullptr},
    };
    std::unique_ptr<FrameRing> codec_frames;
    std::unique_ptr<FrameRing> codec_payloads;
    if (codec_ != nullptr && !payloads_.codec.empty()) {
      codec_frames = std::make_unique<FrameRing>(frame_.bytes, cache);
      codec_payloads = std::make_unique<FrameRing>(payloads_.codec, cache);
      FrameCodec* codec = codec_.get();
      workloads.push_back({[&, codec](int round) {
                             codec->encode(codec_frames->slot(round), row_bytes, rows, row_bytes);
                             codec->release_output();
                           },
                           [&](int round) { codec_frames->restore(round); }});
      workloads.push_back({[&, codec](int round) {
                             codec->decode(codec_payloads->slot(round), row_bytes, rows, row_bytes,
                                           codec_payloads->size());
                             codec->release_output();
                           },
                           nullptr});
      if (comparison_.anchor_decodes_codec_payload) {
        const int32_t stream_length =
            static_cast<int32_t>(payloads_.codec.size()) - comparison_.appended_bytes;
        workloads.push_back({[&, stream_length](int round) {
                               bare->decompress(codec_payloads->slot(round), stream_length,
                                                decoded_.data(), n);
                               delta_inverse(decoded_.data(), row_bytes, rows);
                             },
                             nullptr});
      }
    }
    const std::vector<double> seconds = time_interleaved(workloads, context_.codec_budget());
    add_rows(cache, seconds);
  }

  void add_rows(CacheState cache, const std::vector<double>& seconds) {
    const bool judge = judged(frame_, cache);
    const std::string cache_name = cache_state_name(cache);
    const double bytes = frame_.size();
    ReportRow anchor_encode("delta + " + comparison_.anchor->compress_name(), frame_.name,
                            cache_name, seconds[0], bytes);
    anchor_encode.size = fraction(payloads_.bare.size(), frame_.size());
    const ReportRow anchor_decode(comparison_.anchor->decompress_name() + " + inverse", frame_.name,
                                  cache_name, seconds[1], bytes);
    ReportRow encode(codec_name("encode"), frame_.name, cache_name);
    ReportRow decode(codec_name("decode"), frame_.name, cache_name);
    ReportRow anchor_on_codec_payload(
        comparison_.anchor->decompress_name() + " of the codec's payload + inverse", frame_.name,
        cache_name);
    encode.target = judge ? comparison_.encode_target : Target::none();
    decode.target = judge ? comparison_.decode_target : Target::none();
    decode.detail = comparison_.decode_detail;
    if (seconds.size() >= 4) {
      encode.seconds = seconds[2];
      encode.bytes = bytes;
      encode.size = fraction(payloads_.codec.size(), frame_.size());
      encode.ratio = seconds[2] / seconds[0];
      decode.seconds = seconds[3];
      decode.bytes = bytes;
      decode.ratio = seconds[3] / seconds[1];
      if (seconds.size() == 5) {
        anchor_on_codec_payload.seconds = seconds[4];
        anchor_on_codec_payload.bytes = bytes;
        decode.ratio = seconds[3] / seconds[4];
      }
    } else {
      encode.note = codec_ == nullptr ? "n/a (no codec)" : "n/a (encode gave no payload)";
      decode.note = encode.note;
      anchor_on_codec_payload.note = encode.note;
    }
    table_->add(anchor_encode);
    table_->add(encode);
    // The size does not depend on the caches: one row per frame, judged on every frame.
    if (comparison_.size_target.kind != Target::Kind::kNone &&
        cache == context_.cache_states(false).front()) {
      ReportRow size(codec_name("encode") + " payload size", frame_.name, "");
      size.target = comparison_.size_target;
      if (seconds.size() >= 4) {
        size.size = encode.size;
        size.ratio = static_cast<double>(payloads_.codec.size()) /
                     static_cast<double>(payloads_.bare.size() +
                                         static_cast<size_t>(comparison_.appended_bytes));
        size.detail =
            "payload / (bare output + " + std::to_string(comparison_.appended_bytes) + ")";
      } else {
        size.note = encode.note;
      }
      table_->add(size);
    }
    table_->add(anchor_decode);
    if (comparison_.anchor_decodes_codec_payload) table_->add(anchor_on_codec_payload);
    table_->add(decode);
  }

  const BenchContext& context_;
  const CodecComparison& comparison_;
  const BenchFrame& frame_;
  ReportTable* table_;
  Payloads payloads_;
  std::vector<uint8_t> bare_out_;
  std::vector<uint8_t> decoded_;
  std::unique_ptr<FrameCodec> codec_;
};

}  // namespace

bool run_codec_comparison(const BenchContext& context, const CodecComparison& comparison) {
  ReportTable table(comparison.title,
                    "codec time / anchor time on the same frame (anchor rows: the bare library)");
  bool ok = true;
  for (const BenchFrame& frame : context.frames) {
    ok = FrameComparison(context, comparison, frame, &table).run() && ok;
  }
  table.print();
  return ok;
}

}  // namespace quorvel::bench
