// Connection: one server process of a benchmark run and the client that fetches frames from
// it, measured in short slices that take turns with the other connections of the run, so
// that all of them see the same machine. The loopback and plug-in sections build on it.
#ifndef QUORVEL_BENCH_CONNECTION_H_
#define QUORVEL_BENCH_CONNECTION_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_context.h"
#include "bench/bench_frame.h"
#include "bench/server_process.h"

namespace quorvel::bench {

struct Connection {
  std::string name;
  std::unique_ptr<ServerProcess> server;  // declared first: the client goes before it
  std::function<bool(int32_t frame_number)> fetch;
  std::function<void()> close;
  std::string problem;  // why the connection could not be measured
  int32_t next_frame = 0;
  std::vector<double> rates;  // frames per second, one per round
};

// The frames the end-to-end sections run on: the 1080p camera frame in a quick run, the
// 720x480 camera and the 1080p camera and art frames in a full one; without the real
// footage (or in the smoke run) the first frame of the table.
std::vector<const BenchFrame*> end_to_end_frames(const BenchContext& context);

// Starts program with arguments as the connection's server.
std::unique_ptr<Connection> start_connection(const std::string& name, const std::string& program,
                                             const std::vector<std::string>& arguments,
                                             int start_ms = 10000);

// The bare client (receives replies, decodes nothing), with the compression mask sent first.
void connect_bare(Connection* connection, uint8_t mask);
// quorvel-fetch's receive path, one frame at a time: DeliveryClient::receive_frame (which
// checks every reply) into a reused buffer, and one FrameDecoder; frame 0 must arrive as the
// frame. (The fetch section times quorvel-fetch's whole job: pipelined requests, threads,
// the Y4M conversion.)
void connect_fetch(Connection* connection, uint8_t mask, const BenchFrame& frame);

// Warms every connection up, then runs `rounds` rounds of one slice per connection;
// false (and the connection's problem) when a frame does not arrive.
bool measure_rounds(const std::vector<std::unique_ptr<Connection>>& connections, int rounds,
                    double slice_seconds);
// Disconnects every client.
void close_all(const std::vector<std::unique_ptr<Connection>>& connections);

// The median of the per-round ratios rates / anchor_rates: each round's slices lie next to
// each other in time, so a slow stretch of the machine slows both sides of a ratio alike.
double median_ratio(const std::vector<double>& rates, const std::vector<double>& anchor_rates);

}  // namespace quorvel::bench

#endif  // QUORVEL_BENCH_CONNECTION_H_
