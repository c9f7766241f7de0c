#include "tests/support/reply_model.h"

#include <cstring>
#include <memory>

#include "codecs/codec_factory.h"
#include "util/little_endian.h"
#include "wire/compression_selection.h"
#include "wire/protocol.h"

namespace quorvel {

namespace {

using Bytes = std::vector<uint8_t>;

bool all_zero(const uint8_t* bytes, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    if (bytes[i] != 0) return false;
  }
  return true;
}

std::string check_stream_info(const uint8_t* record, int32_t length, const ScriptedHost& host,
                              const ServerSettings& settings) {
  if (length != kStreamInfoSize) return "stream info of " + std::to_string(length) + " bytes";
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
  return std::memcmp(bytes, record, kStreamInfoSize) == 0 ? "" : "stream info record differs";
}

std::string check_frame(const uint8_t* payload, int32_t length, const ExpectedReply& e,
                        const ScriptedHost& host) {
  if (length < kFrameInfoSize) return "frame reply shorter than its record";
  const FrameInfoRecord record = read_frame_info(payload);
  const int32_t row_bytes = host.info().width * 2;
  if (record.frame_number != e.frame_number) {
    return "frame " + std::to_string(record.frame_number) + " instead of " +
           std::to_string(e.frame_number);
  }
  if (record.row_bytes != row_bytes || record.pitch != row_bytes ||
      record.rows != host.info().height || record.frame_size != host.info().frame_size) {
    return "frame record's shape differs";
  }
  if (record.compression != e.compression) return "frame in the wrong compression";
  if (record.payload_size != length - kFrameInfoSize) return "payload size differs from length";
  if (!all_zero(payload + 8, 4) || !all_zero(payload + 16, 4) || !all_zero(payload + 24, 4) ||
      !all_zero(payload + 40, 28)) {
    return "reserved words of the frame record are not zero";
  }
  const Bytes encoded(payload + kFrameInfoSize, payload + length);
  std::unique_ptr<FrameCodec> codec = make_codec(static_cast<CompressionType>(record.compression));
  if (codec == nullptr) return "no codec of the frame's compression";
  const int32_t rebuilt = codec->decode(encoded.data(), record.row_bytes, record.rows, record.pitch,
                                        record.payload_size);
  const Bytes expected = host.expected_frame(e.frame_number);
  const bool same = rebuilt == static_cast<int32_t>(expected.size()) &&
                    codec->output_buffer != nullptr &&
                    std::memcmp(codec->output_buffer, expected.data(), expected.size()) == 0;
  if (!codec->output_not_owned) codec->release_output();
  return same ? "" : "frame " + std::to_string(e.frame_number) + " does not decode to the host's";
}

std::string check_audio(const uint8_t* payload, int32_t length, const ExpectedReply& e,
                        const ScriptedHost& host, int32_t delivered_samples) {
  if (length != kAudioInfoSize + e.byte_count) return "audio reply of the wrong length";
  if (get_le32_signed(payload) != e.byte_count || get_le32_signed(payload + 4) != 0 ||
      get_le32_signed(payload + 8) != e.byte_count || !all_zero(payload + 12, 20)) {
    return "audio record differs";
  }
  const int32_t samples = delivered_samples >= 0 ? delivered_samples : e.sample_count;
  const Bytes audio = host.expected_audio(e.first_sample, samples > 0 ? samples : 0);
  const size_t from_host = audio.size() < static_cast<size_t>(e.byte_count)
                               ? audio.size()
                               : static_cast<size_t>(e.byte_count);
  const uint8_t* data = payload + kAudioInfoSize;
  if (from_host > 0 && std::memcmp(data, audio.data(), from_host) != 0) {
    return "audio differs from the host's";
  }
  if (!all_zero(data + from_host, static_cast<size_t>(e.byte_count) - from_host)) {
    return "audio past the host's is not zero";
  }
  return "";
}

}  // namespace

std::vector<ExpectedReply> model_replies(const uint8_t* data, size_t size) {
  std::vector<ExpectedReply> out;
  int32_t compression = kCompressionNone;
  size_t at = 0;
  while (size - at >= static_cast<size_t>(kHeaderSize)) {
    const MessageHeader header = read_header(data + at);
    at += kHeaderSize;
    const size_t payload_length = header.length > 1 ? static_cast<size_t>(header.length) - 1 : 0;
    if (size - at < payload_length) break;  // the client closes mid-request
    const uint8_t* payload = data + at;
    at += payload_length;
    ExpectedReply e{Expect::kNothing, 0, compression, 0, 0, 0};
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
        e.sample_count = request.sample_count;
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

// Walks the sent bytes reply by reply against the model. A reply may be cut short only
// when the fake's send cap was reached, or when the stall cut an AudioReply's header (which
// goes out in one send, so a part of it ends the conversation); then nothing may follow it.
std::string check_replies(const std::vector<uint8_t>& sent,
                          const std::vector<ExpectedReply>& expected, const ScriptedHost& host,
                          const ServerSettings& settings, const ReplyAllowance& allowance) {
  size_t at = 0;
  for (size_t index = 0; index < expected.size(); ++index) {
    const ExpectedReply& e = expected[index];
    const std::string where = "reply " + std::to_string(index) + ": ";
    if (e.kind == Expect::kStop) break;
    if (at == sent.size()) return allowance.capped ? "" : where + "missing";
    if (sent.size() - at < static_cast<size_t>(kHeaderSize)) {
      const bool audio_header_cut = e.kind == Expect::kAudio && allowance.stall_after > at &&
                                    sent.size() == allowance.stall_after;
      return allowance.capped || audio_header_cut ? "" : where + "header cut short";
    }
    const MessageHeader header = read_header(sent.data() + at);
    at += kHeaderSize;
    if (header.length < 1) return where + "length below 1";
    const size_t payload_length = static_cast<size_t>(header.length) - 1;
    if (sent.size() - at < payload_length) return allowance.capped ? "" : where + "cut short";
    const uint8_t* payload = sent.data() + at;
    const int32_t length = header.length - 1;
    at += payload_length;
    std::string problem;
    switch (e.kind) {
      case Expect::kStreamInfo:
        problem = header.command != kStreamInfoReply
                      ? "not a StreamInfoReply"
                      : check_stream_info(payload, length, host, settings);
        break;
      case Expect::kAck:
        problem = header.command != kCompressionAck || length != 0 ? "not a CompressionAck" : "";
        break;
      case Expect::kFrame:
        problem = header.command != kFrameReply ? "not a FrameReply"
                                                : check_frame(payload, length, e, host);
        break;
      case Expect::kAudio:
        problem = header.command != kAudioReply
                      ? "not an AudioReply"
                      : check_audio(payload, length, e, host, allowance.delivered_samples);
        break;
      case Expect::kNothing:
      case Expect::kStop:
        break;
    }
    if (!problem.empty()) return where + problem;
  }
  return at == sent.size() ? "" : "bytes after the last reply due";
}

}  // namespace quorvel
