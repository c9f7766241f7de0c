// The product path: quorvel.auo under Wine, loaded by the 32-bit host harness as the host
// loads it, serving one real frame over 127.0.0.1 with read-ahead on, with each codec. Read by
// a bare client that only receives (the plug-in's share alone) and by the client library's
// receive-and-decode path. In the same rounds, as anchors: the native session (the code of
// quorvel-serve, with the benchmark's host) read by the bare client, and a bare sender of the
// same reply bytes. The targets compare the codecs through the plug-in with each other and
// LZO through the plug-in with the native path.
#include <cstdio>
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

// Wine and a fresh harness process take a while to start on a busy machine.
constexpr int kPluginStartMs = 60000;

// The connections of one codec, by what serves and what reads.
struct CodecConnections {
  Connection* bare_sender = nullptr;
  Connection* native_session = nullptr;
  Connection* plugin_bare = nullptr;
  Connection* plugin_fetch = nullptr;
};

class PluginRun {
 public:
  PluginRun(const BenchContext& context, const BenchFrame& frame)
      : context_(context), frame_(frame) {}

  bool run(ReportTable* table) {
    for (const CodecRow& codec : kCodecTable) open(codec);
    bool ok = true;
    for (auto& connection : connections_) ok = connection->problem.empty() && ok;
    const int rounds = context_.smoke ? 1 : context_.quick ? 6 : 20;
    if (ok) ok = measure_rounds(connections_, rounds, context_.smoke ? 0.0 : 0.025);
    close_all(connections_);
    report(table);
    return ok;
  }

 private:
  std::unique_ptr<Connection> native(const std::string& name, const char* mode,
                                     CompressionType type) const {
    ChildOptions child = context_.child_options(mode, frame_.name);
    child.read_ahead = true;
    child.copy_each_frame = type != kCompressionNone;
    child.compression = type;
    return start_connection(name, context_.self_path, child.arguments());
  }

  // The harness under Wine, on the server CPU like the native servers.
  std::unique_ptr<Connection> plugin(const std::string& name, CompressionType type) const {
    std::vector<std::string> arguments;
    std::string program = context_.wine_path;
    if (context_.server_cpu >= 0) {
      program = "/usr/bin/taskset";
      arguments = {"-c", std::to_string(context_.server_cpu), context_.wine_path};
    }
    const std::vector<std::string> harness = {context_.harness_path,
                                              "serve-frames",
                                              context_.plugin_path,
                                              "--frame-file",
                                              frame_file(context_.frames_dir, frame_.name),
                                              "--width",
                                              std::to_string(frame_.width),
                                              "--height",
                                              std::to_string(frame_.height),
                                              "--read-ahead",
                                              "1",
                                              "--copy-each-frame",
                                              type != kCompressionNone ? "1" : "0"};
    arguments.insert(arguments.end(), harness.begin(), harness.end());
    return start_connection(name, program, arguments, kPluginStartMs);
  }

  Connection* add(std::unique_ptr<Connection> connection) {
    connections_.push_back(std::move(connection));
    return connections_.back().get();
  }

  void open(const CodecRow& row) {
    const CompressionType type = row.type;
    const std::string codec = row.words;
    const uint8_t mask = static_cast<uint8_t>(type);
    CodecConnections& c = by_codec_[type];
    c.bare_sender =
        add(native("bare sender of " + codec + " replies -> bare client", "bare", type));
    if (c.bare_sender->problem.empty()) connect_bare(c.bare_sender, 0);
    c.native_session = add(native("native session " + codec + " -> bare client", "session", type));
    if (c.native_session->problem.empty()) connect_bare(c.native_session, mask);
    c.plugin_bare = add(plugin("quorvel.auo " + codec + " -> bare client", type));
    if (c.plugin_bare->problem.empty()) connect_bare(c.plugin_bare, mask);
    c.plugin_fetch = add(plugin("quorvel.auo " + codec + " -> receive + decode", type));
    if (c.plugin_fetch->problem.empty()) connect_fetch(c.plugin_fetch, mask, frame_);
  }

  ReportRow measured(const Connection& connection, const Connection* anchor) const {
    ReportRow row(connection.name, frame_.name);
    if (!connection.problem.empty() || connection.rates.empty()) {
      return row.with_note(connection.problem.empty() ? "n/a (not measured)" : connection.problem);
    }
    row.seconds = 1.0 / median(connection.rates);
    row.bytes = frame_.size();
    if (anchor != nullptr && !anchor->rates.empty()) {
      row.ratio = median_ratio(anchor->rates, connection.rates);  // time / the anchor's time
    }
    return row;
  }

  // Time per frame of `slow` over time per frame of `fast`, judged on the 1080p camera frame.
  void judge(ReportTable* table, const std::string& name, const Connection& slow,
             const Connection& fast, double at_most) const {
    ReportRow row(name, frame_.name);
    if (slow.rates.empty() || fast.rates.empty()) {
      table->add(row.with_note("n/a (not measured)"));
      return;
    }
    const Target target =
        frame_.name == "cam_1920x1080" ? Target::at_most(at_most) : Target::none();
    table->add(row.with_ratio(median_ratio(fast.rates, slow.rates), target));
  }

  void report(ReportTable* table) {
    for (const CodecRow& codec : kCodecTable) {
      const CodecConnections& c = by_codec_[codec.type];
      table->add(measured(*c.bare_sender, nullptr));
      table->add(measured(*c.native_session, c.bare_sender));
      table->add(measured(*c.plugin_bare, c.bare_sender));
      table->add(measured(*c.plugin_fetch, c.bare_sender));
    }
    const CodecConnections& raw = by_codec_[kCompressionNone];
    const CodecConnections& lzo = by_codec_[kCompressionLzo];
    const CodecConnections& fano = by_codec_[kCompressionFano];
    const CodecConnections& deflate = by_codec_[kCompressionDeflate];
    judge(table, "quorvel.auo deflate / LZO (bare client)", *deflate.plugin_bare, *lzo.plugin_bare,
          1.3);
    judge(table, "quorvel.auo prefix code / LZO (bare client)", *fano.plugin_bare, *lzo.plugin_bare,
          1.3);
    judge(table, "quorvel.auo raw / LZO (bare client)", *raw.plugin_bare, *lzo.plugin_bare, 1.0);
    judge(table, "quorvel.auo LZO / native session LZO", *lzo.plugin_bare, *lzo.native_session,
          1.2);
  }

  const BenchContext& context_;
  const BenchFrame& frame_;
  std::vector<std::unique_ptr<Connection>> connections_;
  CodecConnections by_codec_[kCompressionDeflate + 1];
};

}  // namespace

bool run_plugin_section(const BenchContext& context) {
  if (context.plugin_path.empty() || context.harness_path.empty() || context.wine_path.empty()) {
    std::printf(
        "\n== The plug-in under Wine: n/a (give --plugin, --harness and --wine; "
        "scripts/bench-plugin.sh does)\n");
    return true;
  }
  ReportTable table(
      "quorvel.auo under Wine as the host runs it, over 127.0.0.1, read-ahead on: time per frame",
      "time per frame / that of the bare sender of the same codec's replies");
  bool ok = true;
  for (const char* name : {"cam_1920x1080", "art_1920x1080", "cam_720x480"}) {
    for (const BenchFrame& frame : context.frames) {
      if (frame.name == name && frame.from_file) ok = PluginRun(context, frame).run(&table) && ok;
    }
    if (context.quick) break;
  }
  table.print();
  return ok;
}

}  // namespace quorvel::bench
