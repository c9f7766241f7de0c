// End to end over 127.0.0.1: the frames per second that quorvel-fetch's receive path
// (DeliveryClient, which checks and decodes every reply) gets from the session, with each
// codec and read-ahead on and off, against a bare sender of the same reply bytes in the same
// pieces, one small request per frame, read by a bare client. The connections take turns in
// short slices, so all of them see the same machine.
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "apps/fetch/delivery_client.h"
#include "bench/bare_client.h"
#include "bench/built_codecs.h"
#include "bench/child_modes.h"
#include "bench/report_table.h"
#include "bench/sections.h"
#include "bench/server_process.h"

namespace quorvel::bench {

namespace {

constexpr int kWarmUpFrames = 3;
constexpr int kClientTimeoutMs = 20000;
const CompressionType kCodecs[] = {kCompressionNone, kCompressionLzo, kCompressionFano,
                                   kCompressionDeflate};

// One server process and the client that fetches frames from it.
struct Connection {
  std::string name;
  std::unique_ptr<ServerProcess> server;  // declared first: the client goes before it
  std::function<bool(int32_t frame_number)> fetch;
  std::function<void()> close;
  std::string problem;  // why the connection could not be measured
  int32_t next_frame = 0;
  std::vector<double> rates;
};

// Fetches frames for at least `slice` seconds (and at least two); frames per second.
double fetch_for(Connection* connection, double slice) {
  int frames = 0;
  const double start = now_seconds();
  double elapsed = 0.0;
  while (frames < 2 || elapsed < slice) {
    if (!connection->fetch(connection->next_frame++)) return -1.0;
    ++frames;
    elapsed = now_seconds() - start;
  }
  return frames / elapsed;
}

// The median of the per-round ratios: each round's slices lie next to each other in time,
// so a slow stretch of the machine slows both sides of a ratio alike.
double median_ratio(const std::vector<double>& rates, const std::vector<double>& anchor_rates) {
  std::vector<double> ratios;
  for (size_t i = 0; i < rates.size() && i < anchor_rates.size(); ++i)
    ratios.push_back(rates[i] / anchor_rates[i]);
  return median(ratios);
}

void connect_bare(Connection* connection, uint8_t mask) {
  auto client = std::make_shared<BareClient>(connection->server->port());
  if (!client->connected() || (mask != 0 && !client->set_compression(mask))) {
    connection->problem = "cannot connect";
    return;
  }
  connection->fetch = [client](int32_t n) { return client->get_frame(n); };
  connection->close = [client] { client->disconnect(); };
}

// The receive path checks the first frame against the original: the bytes that arrive,
// decoded, must be the host's frame.
void connect_fetch(Connection* connection, uint8_t mask, const BenchFrame& frame) {
  auto client = std::make_shared<client::DeliveryClient>();
  StreamInfoRecord info;
  if (!client->connect("127.0.0.1", std::to_string(connection->server->port()), kClientTimeoutMs) ||
      !client->get_stream_info(&info) || (mask != 0 && !client->set_compression(mask))) {
    connection->problem = "fetch client: " + client->error();
    return;
  }
  auto decoded = std::make_shared<std::vector<uint8_t>>();
  if (!client->get_frame(0, decoded.get()) || *decoded != frame.bytes) {
    connection->problem = "fetch client: frame 0 does not arrive intact " + client->error();
    return;
  }
  connection->next_frame = 1;
  connection->fetch = [client, decoded](int32_t n) { return client->get_frame(n, decoded.get()); };
  connection->close = [client] { client->disconnect(); };
}

std::unique_ptr<Connection> start(const BenchContext& context, const std::string& name,
                                  const ChildOptions& options) {
  auto connection = std::make_unique<Connection>();
  connection->name = name;
  connection->server = std::make_unique<ServerProcess>(context.self_path, options.arguments());
  if (!connection->server->started()) connection->problem = "server did not start";
  return connection;
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
    for (auto& connection : connections_) {
      if (connection->close) connection->close();
      connection->fetch = nullptr;
      connection->close = nullptr;
    }
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
    const double slice = context_.smoke ? 0.0 : 0.025;
    for (auto& connection : connections_) {
      for (int i = 0; i < kWarmUpFrames; ++i) {
        if (!connection->fetch(connection->next_frame++)) return false;
      }
    }
    for (int round = 0; round < rounds; ++round) {
      for (auto& connection : connections_) {
        const double rate = fetch_for(connection.get(), slice);
        if (rate < 0) {
          connection->problem = "a frame did not arrive";
          return false;
        }
        connection->rates.push_back(rate);
      }
    }
    return true;
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

std::vector<const BenchFrame*> loopback_frames(const BenchContext& context) {
  const std::vector<std::string> wanted =
      context.quick ? std::vector<std::string>{"cam_1920x1080"}
                    : std::vector<std::string>{"cam_720x480", "cam_1920x1080", "art_1920x1080"};
  std::vector<const BenchFrame*> frames;
  for (const std::string& name : wanted) {
    for (const BenchFrame& frame : context.frames) {
      if (frame.name == name) frames.push_back(&frame);
    }
  }
  // Without the real footage (or in the smoke run) the first frame of the table stands in.
  if (frames.empty() && !context.frames.empty()) frames.push_back(&context.frames.front());
  return frames;
}

}  // namespace

bool run_loopback_section(const BenchContext& context) {
  ReportTable table("End to end over 127.0.0.1: frames/s (frame bytes/s in MB/s)",
                    "frames/s / frames/s of the bare sender of the same reply bytes");
  bool ok = true;
  for (const BenchFrame* frame : loopback_frames(context)) {
    for (CompressionType type : kCodecs) ok = CodecRun(context, *frame, type).run(&table) && ok;
  }
  table.print();
  return ok;
}

}  // namespace quorvel::bench
