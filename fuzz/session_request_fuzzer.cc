// Fuzz target for the request stream: the input, less its last four bytes, is what the one
// client sends, fed to the real session through the scripted sockets layer, with a scripted
// host serving small frames and audio. The last bytes pick the frame shape, the read-ahead
// setting, how the client's bytes arrive and end, how much audio the host delivers, and
// where the client stops reading replies for a while.
// With flag bit 0x20 the run has the several-clients setting and two more bytes split the
// input into two clients' streams, which arrive interleaved in small pieces through the
// event loop, against a host that overwrites its one frame buffer and one audio buffer at
// every fetch; the first client is the one that stops reading.
// The replies to each client are cut apart and checked against a model of its requests
// (tests/support/reply_model.h): every reply must answer its request, be framed exactly,
// carry zeros in reserved bytes, and a frame must decode through the codec it names to the
// frame the host served. Traps on any violation.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "server/run_server.h"
#include "tests/support/fake_sockets.h"
#include "tests/support/reply_model.h"
#include "tests/support/scripted_host.h"

namespace quorvel {
namespace {

using Bytes = std::vector<uint8_t>;

// Caps the bytes the server can send for one input (an AudioReply may ask for 2 GiB of
// zeros): from this send() on, the fake fails every send and the run ends.
constexpr int kMaxSendCalls = 48;

void require(bool condition) {
  if (!condition) __builtin_trap();
}

// The second client's bytes arrive in pieces of up to this many, interleaved with the
// first's.
constexpr size_t kPieceMax = 7;

struct Params {
  int32_t width;
  int32_t height;
  bool read_ahead;
  int receive_chunk;  // 0: no limit
  bool client_fails;  // the client's end: fails instead of closing
  int32_t delivered_samples;
  size_t stall_after;  // the client stops reading after this many sent bytes (0: never)...
  int64_t resume_ms;   // ...and reads again at this fake time
  bool two_clients;    // through the several-clients loop
  size_t split;        // two clients: the first's stream is the input's first `split` bytes
};

Params take_params(FuzzInput& input) {
  Params p;
  const uint8_t shape = input.take_byte();
  p.width = 1 + (shape & 0x1F);
  p.height = 1 + (shape >> 5) * 2;
  const uint8_t flags = input.take_byte();
  p.read_ahead = (flags & 1) != 0;
  p.client_fails = (flags & 2) != 0;
  p.receive_chunk = (flags >> 2) & 7;
  p.two_clients = (flags & 0x20) != 0;
  p.delivered_samples = input.take_byte();
  const uint8_t stall = input.take_byte();  // 0 in the first seeds: no stall
  p.stall_after = static_cast<size_t>(stall) * 53;
  p.resume_ms = 10 * (1 + (stall & 7));
  p.split = p.two_clients ? input.take_u16() % (input.size() + 1) : input.size();
  return p;
}

// Sends a stream in pieces of 1 to kPieceMax bytes, one every 2 ms from `first_ms`, the
// sizes taken from the stream's own bytes so that they vary.
void send_in_pieces(int client, const uint8_t* data, size_t size, int64_t first_ms) {
  int64_t at_ms = first_ms;
  for (size_t at = 0; at < size; at_ms += 2) {
    const size_t piece = 1 + data[at] % kPieceMax;
    const size_t taken = piece < size - at ? piece : size - at;
    fake_sockets::sends(client, Bytes(data + at, data + at + taken), at_ms);
    at += taken;
  }
}

ReplyAllowance allowance_for(const Params& params, bool stalled) {
  ReplyAllowance allowance;
  allowance.capped = fake_sockets::send_calls().size() >= static_cast<size_t>(kMaxSendCalls);
  allowance.stall_after = stalled ? params.stall_after : 0;
  allowance.delivered_samples = params.delivered_samples;
  return allowance;
}

}  // namespace
}  // namespace quorvel

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace quorvel;
  FuzzInput input(data, size);
  const Params params = take_params(input);
  const uint8_t* first = input.data();
  const uint8_t* second = input.data() + params.split;
  const size_t second_size = input.size() - params.split;

  fake_sockets::reset();
  fake_sockets::fail_send_from_call(kMaxSendCalls);
  fake_sockets::set_receive_chunk_limit(params.receive_chunk);
  fake_sockets::set_client_end(params.client_fails ? fake_sockets::ClientEnd::kFails
                                                   : fake_sockets::ClientEnd::kCloses);
  if (params.stall_after > 0) {
    fake_sockets::client_stops_reading(params.stall_after, params.resume_ms);
  }

  ServerSettings settings = kDefaultSettings;
  settings.read_ahead = params.read_ahead ? 1 : 0;
  settings.port_text[0] = '0';
  settings.port_text[1] = '\0';
  set_serves_several_clients(&settings, params.two_clients);
  {
    ScriptedHost host(params.width, params.height);
    host.deliver_samples(params.delivered_samples);
    if (params.two_clients) {
      const int other = fake_sockets::connect_client(1);
      send_in_pieces(0, first, params.split, 0);
      send_in_pieces(other, second, second_size, 1);
      host.reuse_buffers(true);
      // The run keeps listening after its clients leave: the host stops it once both are
      // gone (or the fake's time limit broke them).
      host.abort_when([other] {
        return (fake_sockets::closed_at_ms(0) >= 0 && fake_sockets::closed_at_ms(other) >= 0) ||
               fake_sockets::time_limit_hit();
      });
    } else {
      fake_sockets::client_sends(Bytes(first, first + params.split));
    }
    require(run_server(host.info(), settings, nullptr) == 1);
    require(check_replies(fake_sockets::sent_bytes(), model_replies(first, params.split), host,
                          settings, allowance_for(params, true))
                .empty());
    if (params.two_clients) {
      require(check_replies(fake_sockets::sent_to(1), model_replies(second, second_size), host,
                            settings, allowance_for(params, false))
                  .empty());
    }
    // The run closed every socket once and never needed the fake clock's time limit.
    require(fake_sockets::open_sockets() == 0 && fake_sockets::bad_close_calls() == 0);
    require(!fake_sockets::time_limit_hit());
  }
  return 0;
}
