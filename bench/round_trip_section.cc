// Round trips of small requests against a bare 5-byte ping-pong over 127.0.0.1. Each reply
// of the session goes out in several sends; a reply that stalls on a delayed
// acknowledgement (Nagle's algorithm left on) takes tens of milliseconds instead of tens
// of microseconds, so every reply type is timed: no round trip may exceed 3x the ping-pong.
#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "bench/bare_client.h"
#include "bench/built_codecs.h"
#include "bench/child_modes.h"
#include "bench/report_table.h"
#include "bench/sections.h"
#include "bench/server_process.h"

namespace quorvel::bench {

namespace {

// 64 x 16 pixels: 2 KiB of raw frame, a few hundred bytes compressed.
constexpr const char* kSmallFrame = "gradient_64x16";
constexpr int32_t kSmallAudioSamples = 100;

struct Exchange {
  std::string name;
  std::function<bool()> once;
  CompressionType codec = kCompressionNone;  // must be built for the exchange to run
  uint8_t mask = 0;                          // sent once before the exchange is timed
};

double percentile(std::vector<double> values, double fraction) {
  std::sort(values.begin(), values.end());
  return values[static_cast<size_t>(fraction * static_cast<double>(values.size() - 1))];
}

std::string format_micros(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", seconds * 1e6);
  return text;
}

int trips(const BenchContext& context) {
  return context.smoke ? 3 : context.quick ? 200 : 2000;
}

}  // namespace

bool run_round_trip_section(const BenchContext& context) {
  ReportTable table(
      "Round trips over 127.0.0.1 (small frame " + std::string(kSmallFrame) + ", read-ahead on)",
      "round trip / round trip of the bare 5-byte ping-pong, taken in turns", "us");
  const ChildOptions ping_options = context.child_options("ping");
  const ChildOptions session_options = context.child_options("session", kSmallFrame);
  ServerProcess ping_server(context.self_path, ping_options.arguments());
  ServerProcess session_server(context.self_path, session_options.arguments());
  BareClient ping(ping_server.port());
  BareClient session(session_server.port());
  if (!ping.connected() || !session.connected()) {
    std::fprintf(stderr, "quorvel-bench: round trips: a server did not start\n");
    return false;
  }
  int32_t frame_number = 0;
  const auto get_frame = [&] { return session.get_frame(frame_number++); };
  const std::vector<Exchange> exchanges = {
      {"GetStreamInfo", [&] { return session.get_stream_info(); }},
      {"SetCompression (mask 0) -> ack", [&] { return session.set_compression(0); }},
      {"GetAudio 100 samples", [&] { return session.get_audio(kSmallAudioSamples); }},
      {"GetFrame small, raw", get_frame},
      {"GetFrame small, LZO", get_frame, kCompressionLzo, kCompressionLzo},
      {"GetFrame small, Fano", get_frame, kCompressionFano, kCompressionFano},
      {"GetFrame small, deflate", get_frame, kCompressionDeflate, kCompressionDeflate},
  };

  bool ok = true;
  for (const Exchange& exchange : exchanges) {
    ReportRow row(exchange.name, kSmallFrame);
    row.target = Target::at_most(3.0);
    if (exchange.mask != 0 && !session.set_compression(exchange.mask)) ok = false;
    std::vector<double> ping_times;
    std::vector<double> exchange_times;
    for (int i = 0; ok && i < trips(context); ++i) {
      double start = now_seconds();
      ok = ping.ping();
      ping_times.push_back(now_seconds() - start);
      start = now_seconds();
      ok = ok && exchange.once();
      exchange_times.push_back(now_seconds() - start);
    }
    if (exchange.codec != kCompressionNone && session.last_compression() != exchange.codec)
      ok = false;
    if (!ok) {
      std::fprintf(stderr, "quorvel-bench: round trips: %s failed\n", exchange.name.c_str());
      row.note = "failed";
      table.add(row);
      break;
    }
    row.seconds = median(exchange_times);
    row.ratio = row.seconds / median(ping_times);
    // A stall on a delayed acknowledgement that hits only some replies shows here.
    row.detail = "p99 " + format_micros(percentile(exchange_times, 0.99)) + " us, ping p99 " +
                 format_micros(percentile(ping_times, 0.99)) + " us";
    table.add(ReportRow("ping-pong 5 bytes (bare)", "", "", median(ping_times)));
    table.add(row);
  }
  session.disconnect();
  table.print();
  return ok;
}

}  // namespace quorvel::bench
