// quorvel-fetch's whole receive path against the server's share alone: run_fetch (requests
// sent ahead, frames decoded, turned into planar Y4M and written to /dev/null on a thread
// of their own) fetching a run of frames from the session, against the bare client (one
// request at a time, nothing decoded) fetching as many from another session, in turns. The
// same run with one request in flight shows what sending ahead is worth, and one with two
// decode threads what they are worth when the server shares the machine. The target: the
// client is never the slow end, its ms per frame at most 1.2x the server's.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "apps/fetch/fetch_job.h"
#include "bench/bench_frame.h"
#include "bench/built_codecs.h"
#include "bench/connection.h"
#include "bench/interleaved_timer.h"
#include "bench/report_table.h"
#include "bench/sections.h"
#include "codecs/codec_table.h"

namespace quorvel::bench {

namespace {

constexpr int kClientTimeoutMs = 20000;

// One way of fetching: a fresh session per run, since a session ends with its client.
struct Fetcher {
  std::string name;
  bool bare = false;
  int requests_ahead = client::FetchPlan::kDefaultRequestsAhead;
  int decode_threads = 1;
  std::vector<double> rates;  // frames per second, one per round
  std::string problem;
};

Fetcher bare_client(const std::string& name) {
  Fetcher fetcher;
  fetcher.name = name;
  fetcher.bare = true;
  return fetcher;
}

Fetcher fetch_client(const std::string& name, int requests_ahead, int decode_threads = 1) {
  Fetcher fetcher;
  fetcher.name = name;
  fetcher.requests_ahead = requests_ahead;
  fetcher.decode_threads = decode_threads;
  return fetcher;
}

class FetchRuns {
 public:
  FetchRuns(const BenchContext& context, const BenchFrame& frame, CompressionType type)
      : context_(context), frame_(frame), type_(type) {
    const std::string codec = codec_class_name(type);
    fetchers_.push_back(bare_client("session " + codec + " RA on -> bare client"));
    fetchers_.push_back(fetch_client("session " + codec + " RA on -> quorvel-fetch (Y4M)",
                                     client::FetchPlan::kDefaultRequestsAhead));
    fetchers_.push_back(fetch_client("session " + codec + " RA on -> quorvel-fetch --depth 1", 1));
    fetchers_.push_back(fetch_client("session " + codec + " RA on -> quorvel-fetch --threads 2",
                                     client::FetchPlan::kDefaultRequestsAhead, 2));
  }

  bool run(ReportTable* table) {
    const int rounds = context_.smoke ? 1 : context_.quick ? 3 : 7;
    bool ok = true;
    for (int round = 0; round < rounds && ok; ++round) {
      for (Fetcher& fetcher : fetchers_) {
        const double rate = fetcher.bare ? run_bare() : run_client(fetcher);
        if (rate < 0) {
          fetcher.problem = problem_;
          ok = false;
          break;
        }
        fetcher.rates.push_back(rate);
      }
    }
    report(table);
    return ok;
  }

 private:
  // Long runs: each starts a fresh session and client, whose set-up (stream information,
  // compression, threads) and first frames (new pages for the payload, decode and planar
  // blocks, some 20 MB at 1080p) a real run of thousands of frames pays once. A run moves
  // the pixels of 240 frames of 1080p (96 quick) whatever the frame's size, within 1/4 to
  // 16 times that many frames, so that those fixed costs weigh the same on a small frame as
  // on a large one.
  int frames_per_run() const {
    if (context_.smoke) return 3;
    constexpr int64_t kPixelsOf1080p = 1920 * 1080;
    const int64_t pixels = std::max<int64_t>(int64_t{frame_.width} * frame_.height, 1);
    const int64_t frames_of_1080p = context_.quick ? 96 : 240;
    const int64_t frames = frames_of_1080p * kPixelsOf1080p / pixels;
    return static_cast<int>(std::clamp(frames, frames_of_1080p / 4, frames_of_1080p * 16));
  }

  std::unique_ptr<Connection> start_session() {
    ChildOptions options = context_.child_options("session", frame_.name);
    options.read_ahead = true;
    options.copy_each_frame = type_ != kCompressionNone;  // the codecs filter in place
    auto connection = start_connection("session", context_.self_path, options.arguments());
    if (!connection->problem.empty()) problem_ = connection->problem;
    return connection;
  }

  // Frames per second of the bare client over one run; -1 on failure.
  double run_bare() {
    const auto session = start_session();
    if (!session->problem.empty()) return -1.0;
    connect_bare(session.get(), static_cast<uint8_t>(type_));
    if (!session->problem.empty()) return fail(session->problem);
    const int frames = frames_per_run();
    const double start = now_seconds();
    for (int n = 0; n < frames; ++n) {
      if (!session->fetch(n)) return fail("a frame did not arrive at the bare client");
    }
    const double seconds = now_seconds() - start;
    session->close();
    return frames / seconds;
  }

  // Frames per second of run_fetch over one run, Y4M into /dev/null; -1 on failure.
  double run_client(const Fetcher& fetcher) {
    const auto session = start_session();
    if (!session->problem.empty()) return -1.0;
    client::DeliveryClient client;
    if (!client.connect("127.0.0.1", std::to_string(session->server->port()), kClientTimeoutMs))
      return fail("quorvel-fetch: " + client.error());
    client::FetchPlan plan;
    plan.frames = {0, frames_per_run() - 1};
    plan.frames_given = true;
    plan.set_compression = type_ != kCompressionNone;
    plan.compression_mask = static_cast<uint8_t>(type_);
    plan.requests_ahead = fetcher.requests_ahead;
    plan.decode_threads = fetcher.decode_threads;
    client::OutputFile video("/dev/null");
    client::FetchSinks sinks;
    sinks.video = &video;
    const double start = now_seconds();
    const client::FetchOutcome outcome = client::run_fetch(client, plan, sinks);
    const double seconds = now_seconds() - start;
    if (!outcome.ok) return fail("quorvel-fetch: " + outcome.error);
    return static_cast<double>(outcome.frames_written) / seconds;
  }

  double fail(const std::string& problem) {
    problem_ = problem;
    return -1.0;
  }

  void report(ReportTable* table) const {
    const Fetcher& server_only = fetchers_[0];
    for (size_t i = 0; i < fetchers_.size(); ++i) {
      const Fetcher& fetcher = fetchers_[i];
      ReportRow row(fetcher.name, frame_.name);
      if (!fetcher.problem.empty() || fetcher.rates.empty()) {
        row.note = fetcher.problem.empty() ? "n/a (not measured)" : fetcher.problem;
        table->add(row);
        continue;
      }
      row.seconds = 1.0 / median(fetcher.rates);
      row.bytes = frame_.size();
      if (i > 0) {
        // ms per frame against the server's: the inverse of the rates' ratio.
        row.ratio = 1.0 / median_ratio(fetcher.rates, server_only.rates);
        if (i == 1) row.target = Target::at_most(1.20);
      }
      table->add(row);
    }
  }

  const BenchContext& context_;
  const BenchFrame& frame_;
  const CompressionType type_;
  std::vector<Fetcher> fetchers_;
  std::string problem_;
};

}  // namespace

bool run_fetch_section(const BenchContext& context) {
  ReportTable table("quorvel-fetch over 127.0.0.1: the whole client against the server's share",
                    "ms per frame / ms per frame of the bare client");
  bool ok = true;
  for (const BenchFrame* frame : end_to_end_frames(context)) {
    for (const CodecRow& codec : kCodecTable) {
      ok = FetchRuns(context, *frame, codec.type).run(&table) && ok;
    }
  }
  table.print();
  return ok;
}

}  // namespace quorvel::bench
