#include "bench/connection.h"

#include <algorithm>

#include "bench/bare_client.h"
#include "bench/interleaved_timer.h"
#include "client/delivery_client.h"
#include "client/frame_decoder.h"

namespace quorvel::bench {

namespace {

constexpr int kWarmUpFrames = 3;
constexpr int kClientTimeoutMs = 20000;

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

}  // namespace

std::vector<const BenchFrame*> end_to_end_frames(const BenchContext& context) {
  const std::vector<std::string> wanted =
      context.quick ? std::vector<std::string>{"cam_1920x1080"}
                    : std::vector<std::string>{"cam_720x480", "cam_1920x1080", "art_1920x1080"};
  std::vector<const BenchFrame*> frames;
  for (const std::string& name : wanted) {
    for (const BenchFrame& frame : context.frames) {
      if (frame.name == name) frames.push_back(&frame);
    }
  }
  if (frames.empty() && !context.frames.empty()) frames.push_back(&context.frames.front());
  return frames;
}

std::unique_ptr<Connection> start_connection(const std::string& name, const std::string& program,
                                             const std::vector<std::string>& arguments,
                                             int start_ms) {
  auto connection = std::make_unique<Connection>();
  connection->name = name;
  connection->server = std::make_unique<ServerProcess>(program, arguments, start_ms);
  if (!connection->server->started()) connection->problem = "server did not start";
  return connection;
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

void connect_fetch(Connection* connection, uint8_t mask, const BenchFrame& frame) {
  auto client = std::make_shared<client::DeliveryClient>();
  StreamInfoRecord info;
  if (!client->connect("127.0.0.1", std::to_string(connection->server->port()), kClientTimeoutMs) ||
      !client->get_stream_info(&info) || (mask != 0 && !client->set_compression(mask))) {
    connection->problem = "fetch client: " + client->error();
    return;
  }
  // As quorvel-fetch takes each frame: the reply into a reused buffer, decoded by the one
  // decoder of the fetch (on the fetch's writing thread; here on the same one).
  struct Receiver {
    client::ReceivedFrame reply;
    client::FrameDecoder decoder;
    // The decoded frame, valid until release(); the payload itself when it is raw.
    const uint8_t* take(int32_t n, client::DeliveryClient* client) {
      if (!client->request_frame(n) || !client->receive_frame(n, &reply)) return nullptr;
      if (reply.record.compression == kCompressionNone) return reply.payload.data();
      return decoder.decode(reply.record, reply.payload.data()) == client::DecodeResult::kOk
                 ? decoder.frame()
                 : nullptr;
    }
  };
  auto receiver = std::make_shared<Receiver>();
  const uint8_t* first = receiver->take(0, client.get());
  const bool intact = first != nullptr && std::equal(frame.bytes.begin(), frame.bytes.end(), first);
  receiver->decoder.release();
  if (!intact) {
    connection->problem = "fetch client: frame 0 does not arrive intact " + client->error();
    return;
  }
  connection->next_frame = 1;
  connection->fetch = [client, receiver](int32_t n) {
    const bool taken = receiver->take(n, client.get()) != nullptr;
    receiver->decoder.release();
    return taken;
  };
  connection->close = [client] { client->disconnect(); };
}

bool measure_rounds(const std::vector<std::unique_ptr<Connection>>& connections, int rounds,
                    double slice_seconds) {
  for (const auto& connection : connections) {
    for (int i = 0; i < kWarmUpFrames; ++i) {
      if (!connection->fetch(connection->next_frame++)) {
        connection->problem = "a frame did not arrive";
        return false;
      }
    }
  }
  for (int round = 0; round < rounds; ++round) {
    for (const auto& connection : connections) {
      const double rate = fetch_for(connection.get(), slice_seconds);
      if (rate < 0) {
        connection->problem = "a frame did not arrive";
        return false;
      }
      connection->rates.push_back(rate);
    }
  }
  return true;
}

void close_all(const std::vector<std::unique_ptr<Connection>>& connections) {
  for (const auto& connection : connections) {
    if (connection->close) connection->close();
    connection->fetch = nullptr;
    connection->close = nullptr;
  }
}

double median_ratio(const std::vector<double>& rates, const std::vector<double>& anchor_rates) {
  std::vector<double> ratios;
  for (size_t i = 0; i < rates.size() && i < anchor_rates.size(); ++i)
    ratios.push_back(rates[i] / anchor_rates[i]);
  return median(ratios);
}

}  // namespace quorvel::bench
