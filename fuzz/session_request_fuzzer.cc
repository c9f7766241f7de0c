// Fuzz target for the request stream: the input, less its last four bytes, is what the one
// client sends, fed to the real session through the scripted sockets layer, with a scripted
// host serving small frames and audio. The last bytes pick the frame shape, the read-ahead
// setting, how the client's bytes arrive and end, how much audio the host delivers, and
// where the client stops reading replies for a while.
// The replies are cut apart and checked against a model of the requests: every reply must
// answer its request, be framed exactly, carry zeros in reserved bytes, and a frame must
// decode through the codec it names to the frame the host served. Traps on any violation.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "codecs/codec_factory.h"
#include "fuzz/fuzz_input.h"
#include "server/run_server.h"
#include "tests/support/fake_sockets.h"
#include "tests/support/scripted_host.h"
#include "util/little_endian.h"
#include "wire/compression_selection.h"
#include "wire/protocol.h"

namespace quorvel {
namespace {

using Bytes = std::vector<uint8_t>;

// Caps the bytes the server can send for one input (an AudioReply may ask for 2 GiB of
// zeros): from this send() on, the fake fails every send and the run ends.
constexpr int kMaxSendCalls = 48;

void require(bool condition) {
  if (!condition) __builtin_trap();
}

struct Params {
  int32_t width;
  int32_t height;
  bool read_ahead;
  int receive_chunk;  // 0: no limit
  bool client_fails;  // the client's end: fails instead of closing
  int32_t delivered_samples;
  size_t stall_after;  // the client stops reading after this many sent bytes (0: never)...
  int64_t resume_ms;   // ...and reads again at this fake time
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
  p.delivered_samples = input.take_byte();
  const uint8_t stall = input.take_byte();  // 0 in the first seeds: no stall
  p.stall_after = static_cast<size_t>(stall) * 53;
  p.resume_ms = 10 * (1 + (stall & 7));
  return p;
}

// What the server must answer to one request, as the client stream says it.
enum class Expect { kNothing, kStop, kStreamInfo, kAck, kFrame, kAudio };

struct Expected {
  Expect kind;
  int32_t frame_number;
  int32_t compression;  // the codec in force for a frame
  int32_t first_sample;
  int32_t byte_count;
};

// Reads the client stream as the session does and lists the replies due, up to the first
// request that ends the run (or the end of the stream, where the client closes).
std::vector<Expected> model_replies(const uint8_t* data, size_t size) {
  std::vector<Expected> out;
  int32_t compression = kCompressionNone;
  size_t at = 0;
  while (size - at >= static_cast<size_t>(kHeaderSize)) {
    const MessageHeader header = read_header(data + at);
    at += kHeaderSize;
    const size_t payload_length = header.length > 1 ? static_cast<size_t>(header.length) - 1 : 0;
    if (size - at < payload_length) break;  // the client closes mid-request
    const uint8_t* payload = data + at;
    at += payload_length;
    Expected e{Expect::kNothing, 0, compression, 0, 0};
    switch (header.command) {
      case kDisconnect:
        e.kind = Expect::kStop;
        break;
      case kGetStreamInfo:
        e.kind = Expect::kStreamInfo;
        break;
      case kSetCompression:
        if (payload_length < kSetCompressionPayloadMin) {
          e.kind = Expect::kStop;
          break;
        }
        e.kind = Expect::kAck;
        if (select_compression(read_compression_mask(payload)) != kCompressionNone) {
          compression = select_compression(read_compression_mask(payload));
        }
        break;
      case kGetFrame:
        if (payload_length < kGetFramePayloadMin) {
          e.kind = Expect::kStop;
          break;
        }
        e.kind = Expect::kFrame;
        e.frame_number = read_get_frame(payload).frame_number;
        break;
      case kGetAudio: {
        if (payload_length < kGetAudioPayloadMin) {
          e.kind = Expect::kStop;
          break;
        }
        const GetAudioRequest request = read_get_audio(payload);
        e.byte_count = request.byte_count;
        e.first_sample = request.first_sample;
        e.kind = request.byte_count < 0 || request.byte_count > INT32_MAX - 33 ? Expect::kStop
                                                                               : Expect::kAudio;
        break;
      }
      default:
        break;
    }
    if (e.kind == Expect::kNothing) continue;
    out.push_back(e);
    if (e.kind == Expect::kStop) break;
  }
  return out;
}

bool all_zero(const uint8_t* bytes, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    if (bytes[i] != 0) return false;
  }
  return true;
}

void check_stream_info(const uint8_t* record, const ScriptedHost& host,
                       const ServerSettings& settings) {
  StreamInfoRecord expected;
  const HostOutputInfo& info = host.info();
  expected.width = info.width;
  expected.height = info.height;
  expected.rate = info.rate;
  expected.scale = info.scale;
  expected.frame_count = info.frame_count;
  expected.pixel_type = kPixelTypeYuy2;
  expected.image_type = settings.interlaced == 0        ? kImageProgressive
                        : settings.top_field_first != 0 ? kImageTopFieldFirst
                                                        : kImageBottomFieldFirst;
  expected.audio_rate = info.audio_rate;
  expected.sample_type = kSampleTypeInt16;
  expected.sample_count = info.audio_samples;
  expected.channels = info.audio_channels;
  uint8_t bytes[kStreamInfoSize];
  write_stream_info(expected, bytes);
  require(std::memcmp(bytes, record, kStreamInfoSize) == 0);
}

void check_frame(const uint8_t* payload, int32_t length, const Expected& e,
                 const ScriptedHost& host) {
  require(length >= kFrameInfoSize);
  const FrameInfoRecord record = read_frame_info(payload);
  const int32_t row_bytes = host.info().width * 2;
  require(record.frame_number == e.frame_number);
  require(record.row_bytes == row_bytes && record.pitch == row_bytes);
  require(record.rows == host.info().height);
  require(record.frame_size == host.info().frame_size);
  require(record.compression == e.compression);
  require(record.payload_size == length - kFrameInfoSize);
  // Reserved words.
  require(all_zero(payload + 8, 4) && all_zero(payload + 16, 4) && all_zero(payload + 24, 4));
  require(all_zero(payload + 40, 28));

  const Bytes encoded(payload + kFrameInfoSize, payload + length);
  std::unique_ptr<FrameCodec> codec = make_codec(static_cast<CompressionType>(record.compression));
  require(codec != nullptr);
  const int32_t rebuilt = codec->decode(encoded.data(), record.row_bytes, record.rows, record.pitch,
                                        record.payload_size);
  const Bytes expected = host.expected_frame(e.frame_number);
  require(rebuilt == static_cast<int32_t>(expected.size()) && codec->output_buffer != nullptr);
  require(std::memcmp(codec->output_buffer, expected.data(), expected.size()) == 0);
  if (!codec->output_not_owned) codec->release_output();
}

void check_audio(const uint8_t* payload, int32_t length, const Expected& e,
                 const ScriptedHost& host, int32_t delivered_samples) {
  require(length == kAudioInfoSize + e.byte_count);
  require(get_le32_signed(payload) == e.byte_count && get_le32_signed(payload + 4) == 0 &&
          get_le32_signed(payload + 8) == e.byte_count && all_zero(payload + 12, 20));
  const Bytes audio = host.expected_audio(e.first_sample, delivered_samples);
  const size_t from_host = audio.size() < static_cast<size_t>(e.byte_count)
                               ? audio.size()
                               : static_cast<size_t>(e.byte_count);
  const uint8_t* data = payload + kAudioInfoSize;
  require(from_host == 0 || std::memcmp(data, audio.data(), from_host) == 0);
  require(all_zero(data + from_host, static_cast<size_t>(e.byte_count) - from_host));
}

// Walks the sent bytes reply by reply against the model. A reply may be cut short only
// when the fake's send cap was reached, or when the stall cut an AudioReply's header (which
// goes out in one send, so a part of it ends the run); then nothing may follow it.
void check_replies(const std::vector<Expected>& expected, const ScriptedHost& host,
                   const ServerSettings& settings, const Params& params) {
  const Bytes& sent = fake_sockets::sent_bytes();
  const bool capped = fake_sockets::send_calls().size() >= static_cast<size_t>(kMaxSendCalls);
  size_t at = 0;
  for (const Expected& e : expected) {
    if (e.kind == Expect::kStop) break;
    if (at == sent.size()) {
      require(capped);
      return;
    }
    if (sent.size() - at < static_cast<size_t>(kHeaderSize)) {
      const bool audio_header_cut =
          e.kind == Expect::kAudio && params.stall_after > at && sent.size() == params.stall_after;
      require(capped || audio_header_cut);
      return;
    }
    const MessageHeader header = read_header(sent.data() + at);
    at += kHeaderSize;
    require(header.length >= 1);
    const size_t payload_length = static_cast<size_t>(header.length) - 1;
    if (sent.size() - at < payload_length) {
      require(capped);
      return;
    }
    const uint8_t* payload = sent.data() + at;
    const int32_t length = header.length - 1;
    at += payload_length;
    switch (e.kind) {
      case Expect::kStreamInfo:
        require(header.command == kStreamInfoReply && length == kStreamInfoSize);
        check_stream_info(payload, host, settings);
        break;
      case Expect::kAck:
        require(header.command == kCompressionAck && length == 0);
        break;
      case Expect::kFrame:
        require(header.command == kFrameReply);
        check_frame(payload, length, e, host);
        break;
      case Expect::kAudio:
        require(header.command == kAudioReply);
        check_audio(payload, length, e, host, params.delivered_samples);
        break;
      case Expect::kNothing:
      case Expect::kStop:
        break;
    }
  }
  require(at == sent.size());
}

}  // namespace
}  // namespace quorvel

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace quorvel;
  FuzzInput input(data, size);
  const Params params = take_params(input);

  fake_sockets::reset();
  fake_sockets::fail_send_from_call(kMaxSendCalls);
  fake_sockets::set_receive_chunk_limit(params.receive_chunk);
  fake_sockets::set_client_end(params.client_fails ? fake_sockets::ClientEnd::kFails
                                                   : fake_sockets::ClientEnd::kCloses);
  fake_sockets::client_sends(Bytes(input.data(), input.data() + input.size()));
  if (params.stall_after > 0) {
    fake_sockets::client_stops_reading(params.stall_after, params.resume_ms);
  }

  ServerSettings settings = kDefaultSettings;
  settings.read_ahead = params.read_ahead ? 1 : 0;
  settings.port_text[0] = '0';
  settings.port_text[1] = '\0';
  {
    ScriptedHost host(params.width, params.height);
    host.deliver_samples(params.delivered_samples);
    require(run_server(host.info(), settings, nullptr) == 1);
    check_replies(model_replies(input.data(), input.size()), host, settings, params);
    // The run closed both sockets once and never needed the fake clock's time limit.
    require(fake_sockets::open_sockets() == 0 && fake_sockets::bad_close_calls() == 0);
    require(!fake_sockets::time_limit_hit());
  }
  return 0;
}
