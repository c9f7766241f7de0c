// End to end over 127.0.0.1: the frames per second that quorvel-fetch's receive path (each
// reply checked by DeliveryClient and decoded by one FrameDecoder) gets from the session,
// with each codec and read-ahead on and off, against a bare sender of the same reply bytes
// in the same sends, one small request per frame, read by a bare client. The connections take turns
// in short slices, so all of them see the same machine.
#include <memory>
#include <string>
#include <vector>

#include "bench/built_codecs.h"
#include "bench/child_modes.h"
#include "bench/connection.h"
#include "bench/report_table.h"
#include "bench/sections.h"
#include "codecs/codec_table.h"

namespace quorvel::bench {

namespace {

std::unique_ptr<Connection> start(const BenchContext& context, const std::string& name,
                                  const ChildOptions& options) {
  return start_connection(name, context.self_path, options.arguments());
}

uint8_t mask_of(CompressionType type) {
  return static_cast<uint8_t>(type);
}

class CodecRun {
 public:
  CodecRun(const BenchContext& context, const BenchFrame& frame, CompressionType type)
      : context_(context), frame_(frame), type_(type) {}

  // Returns false when a connection that should work did not.
  bool run(ReportTable* table) {
    open_connections();
    bool ok = true;
    for (auto& connection : connections_) ok = connection->problem.empty() && ok;
    if (ok) ok = measure();
    close_all(connections_);
    report(table);
    connections_.clear();
    return ok;
  }

 private:
  ChildOptions options(const char* mode, bool read_ahead) const {
    ChildOptions child = context_.child_options(mode, frame_.name);
    child.read_ahead = read_ahead;
    // The raw codec only reads the host's buffer; the others filter it in place.
    child.copy_each_frame = type_ != kCompressionNone;
    child.compression = type_;
    return child;
  }

  void open_connections() {
    const std::string codec = codec_class_name(type_);
    auto bare = start(context_, "bare sender -> bare client", options("bare", false));
    if (bare->problem.empty()) connect_bare(bare.get(), 0);
    connections_.push_back(std::move(bare));
    for (bool read_ahead : {true, false}) {
      const std::string name =
          "session " + codec + (read_ahead ? " RA on" : " RA off") + " -> fetch";
      auto session = start(context_, name, options("session", read_ahead));
      if (session->problem.empty()) connect_fetch(session.get(), mask_of(type_), frame_);
      connections_.push_back(std::move(session));
    }
    // The server's share alone: the session read by the bare client.
    auto server_only =
        start(context_, "session " + codec + " RA on -> bare client", options("session", true));
    if (server_only->problem.empty()) connect_bare(server_only.get(), mask_of(type_));
    connections_.push_back(std::move(server_only));
  }

  bool measure() {
    // Short slices, many rounds: a burst of other work on the machine then costs one slice
    // of one connection, which the median drops.
    // The raw codec's ratio is judged and moves most (it is all socket work): three times the
    // rounds for it.
    const int codec_rounds = context_.smoke ? 1 : context_.quick ? 8 : 30;
    const int rounds = type_ == kCompressionNone ? 3 * codec_rounds : codec_rounds;
    return measure_rounds(connections_, rounds, context_.smoke ? 0.0 : 0.025);
  }

  void report(ReportTable* table) const {
    for (size_t i = 0; i < connections_.size(); ++i) {
      const Connection& connection = *connections_[i];
      ReportRow row(connection.name, frame_.name);
      const bool fetch_row = i == 1 || i == 2;
      if (fetch_row && type_ == kCompressionNone && frame_.is_1080p())
        row.target = Target::at_least(0.90);
      if (!connection.problem.empty() || connection.rates.empty()) {
        row.note = connection.problem.empty() ? "n/a (not measured)" : connection.problem;
      } else {
        const double rate = median(connection.rates);
        row.seconds = 1.0 / rate;
        row.bytes = frame_.size();
        row.ratio = i == 0 ? -1.0 : median_ratio(connection.rates, connections_[0]->rates);
      }
      table->add(row);
    }
  }

  const BenchContext& context_;
  const BenchFrame& frame_;
  const CompressionType type_;
  std::vector<std::unique_ptr<Connection>> connections_;
};

}  // namespace

bool run_loopback_section(const BenchContext& context) {
  ReportTable table("End to end over 127.0.0.1: frames/s (frame bytes/s in MB/s)",
                    "frames/s / frames/s of the bare sender of the same reply bytes");
  bool ok = true;
  for (const BenchFrame* frame : end_to_end_frames(context)) {
    for (const CodecRow& codec : kCodecTable) {
      ok = CodecRun(context, *frame, codec.type).run(&table) && ok;
    }
  }
  table.print();
  return ok;
}

}  // namespace quorvel::bench
