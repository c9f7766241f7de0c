#include "bench/child_modes.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "bench/bare_socket.h"
#include "bench/bench_frame.h"
#include "bench/bench_host.h"
#include "bench/built_codecs.h"
#include "bench/cpu_placement.h"
#include "server/run_server.h"
#include "server/send_chunked.h"
#include "wire/protocol.h"

namespace quorvel::bench {

namespace {

// The line ServerProcess waits for.
void print_port(uint16_t port) {
  std::fprintf(stderr, "quorvel-bench child: listening on port %u\n", port);
  std::fflush(stderr);
}

int serve_session(const BenchFrame& frame, const ChildOptions& options) {
  const HostOutputInfo host = make_bench_host(frame, options.copy_each_frame);
  ServerSettings settings = kDefaultSettings;
  std::snprintf(settings.port_text, sizeof settings.port_text, "0");  // the system picks a port
  settings.read_ahead = options.read_ahead ? 1 : 0;
  const ListenObserver observer{
      [](void*, const ListenEndpoint& endpoint) { print_port(endpoint.port); }, nullptr};
  return run_server(host, settings, &observer) == 1 ? 0 : 1;
}

constexpr size_t kReplyPrefixSize = kHeaderSize + kFrameInfoSize;

// The frame reply the session would send for this frame with this codec, laid out once:
// header, record and payload in one block, as the codecs' blocks hold them.
struct CannedReply {
  std::vector<uint8_t> bytes;
  bool raw = false;  // the session sends header and record apart from the host's frame
};

bool make_canned_reply(const BenchFrame& frame, int32_t compression, CannedReply* reply) {
  std::unique_ptr<FrameCodec> codec = make_bench_codec(static_cast<CompressionType>(compression));
  if (codec == nullptr) return false;
  std::vector<uint8_t> work = frame.bytes;
  const int32_t length =
      codec->encode(work.data(), frame.row_bytes(), frame.height, frame.row_bytes());
  if (length <= 0) return false;
  reply->bytes.resize(kReplyPrefixSize + static_cast<size_t>(length));
  std::copy(codec->output_buffer, codec->output_buffer + length,
            reply->bytes.begin() + kReplyPrefixSize);
  reply->raw = codec->output_not_owned;
  codec->release_output();
  FrameInfoRecord record;
  record.row_bytes = frame.row_bytes();
  record.rows = frame.height;
  record.pitch = frame.row_bytes();
  record.payload_size = length;
  record.compression = compression;
  record.frame_size = static_cast<uint32_t>(frame.bytes.size());
  write_header(reply->bytes.data(), length + 1 + kFrameInfoSize, kFrameReply);
  write_frame_info(record, reply->bytes.data() + kHeaderSize);
  return true;
}

// Listens on a loopback port, prints it and takes the one client; invalid on failure.
BareSocket accept_announced_client() {
  uint16_t port = 0;
  const BareSocket listener = BareSocket::listen_loopback(&port);
  if (!listener.valid()) return BareSocket();
  print_port(port);
  return listener.accept_one();
}

// One small request in, the reply out in the session's pieces: a compressed reply whole, a
// raw one as header and record, then the frame; each in sends of at most the session's
// piece size.
int serve_bare(const BenchFrame& frame, const ChildOptions& options) {
  CannedReply reply;
  if (!make_canned_reply(frame, options.compression, &reply)) return 1;
  const BareSocket client = accept_announced_client();
  const size_t first_part = reply.raw ? kReplyPrefixSize : reply.bytes.size();
  uint8_t request[kGetFrameRequestSize];
  while (client.receive_exactly(request, sizeof request)) {
    if (!client.send_in_pieces(reply.bytes.data(), first_part, kSendPieceSize) ||
        !client.send_in_pieces(reply.bytes.data() + first_part, reply.bytes.size() - first_part,
                               kSendPieceSize)) {
      return 1;
    }
  }
  return 0;
}

int serve_ping() {
  const BareSocket client = accept_announced_client();
  uint8_t message[kHeaderSize];
  while (client.receive_exactly(message, sizeof message)) {
    if (!client.send_all(message, sizeof message)) return 1;
  }
  return 0;
}

}  // namespace

std::vector<std::string> ChildOptions::arguments() const {
  return {"--child",       mode,
          "--frame-name",  frame,
          "--frames-dir",  frames_dir,
          "--read-ahead",  read_ahead ? "1" : "0",
          "--host-copies", copy_each_frame ? "1" : "0",
          "--compression", std::to_string(compression),
          "--cpu",         std::to_string(cpu)};
}

int run_child(const ChildOptions& options) {
  pin_to_cpu(options.cpu);
  if (options.mode == "ping") return serve_ping();
  BenchFrame frame;
  std::string problem;
  if (!make_frame(options.frame, options.frames_dir, &frame, &problem)) {
    std::fprintf(stderr, "quorvel-bench: %s\n", problem.c_str());
    return 1;
  }
  if (options.mode == "session") return serve_session(frame, options);
  if (options.mode == "bare") return serve_bare(frame, options);
  std::fprintf(stderr, "quorvel-bench: unknown child mode %s\n", options.mode.c_str());
  return 1;
}

}  // namespace quorvel::bench
