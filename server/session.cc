#include "server/session.h"

#include <cstdlib>
#include <cstring>

#include "codecs/codec_factory.h"
#include "server/send_chunked.h"
#include "util/input_check.h"
#include "wire/compression_selection.h"

namespace quorvel {

namespace {

constexpr int kRequestWaitMs = 10;
constexpr int32_t kFrameReplyPrefixSize = kHeaderSize + kFrameInfoSize;
constexpr int32_t kAudioReplyPrefixSize = kHeaderSize + kAudioInfoSize;
static_assert(kFrameReplyPrefixSize <= static_cast<int32_t>(FrameCodec::kOutputHeadroom),
              "the codecs' blocks keep room for a frame reply's header and record");
// Audio replies up to this size are copied whole into one block: those of a frame's length
// of sound are a few kilobytes.
constexpr int32_t kAudioReplyCopyLimit = 1 << 20;
// Audio the host did not deliver goes out as zeros, sent from this block.
constexpr int32_t kZeroBlockSize = 65536;
const uint8_t kZeros[kZeroBlockSize] = {};

int32_t image_type(const ServerSettings& settings) {
  if (settings.interlaced == 0) return kImageProgressive;
  return settings.top_field_first != 0 ? kImageTopFieldFirst : kImageBottomFieldFirst;
}

// The bytes behind the host's audio pointer: samples × channels × 2, capped a little above
// byte_count (only that many are ever sent) so the product cannot overflow.
int64_t delivered_bytes(int32_t samples, int32_t channels, int32_t byte_count) {
  if (samples <= 0 || channels <= 0) return 0;
  const int64_t bytes_per_sample = static_cast<int64_t>(channels) * 2;
  const int64_t capped_samples = byte_count / bytes_per_sample + 1;
  return (samples < capped_samples ? samples : capped_samples) * bytes_per_sample;
}

// Of the byte_count bytes an audio reply carries, those the host delivered; zeros follow.
int32_t bytes_from_host(const uint8_t* audio, int64_t audio_bytes, int32_t byte_count) {
  if (audio == nullptr) return 0;
  return static_cast<int32_t>(audio_bytes < byte_count ? audio_bytes : byte_count);
}

void write_audio_reply_prefix(uint8_t* prefix, int32_t byte_count) {
  write_header(prefix, byte_count + 1 + kAudioInfoSize, kAudioReply);
  write_audio_info({byte_count}, prefix + kHeaderSize);
}

}  // namespace

Session::Session(const HostOutputInfo& host, const ServerSettings& settings,
                 net::SocketHandle client)
    : host_(host), settings_(settings), client_(client), codec_(make_codec(kCompressionNone)) {
  init_codec_libraries();
}

Session::~Session() {
  if (codec_ != nullptr) codec_->release_output();
  std::free(audio_reply_);
}

void Session::serve() {
  if (codec_ == nullptr) return;
  Request request;
  for (;;) {
    if (host_.is_aborted() != 0) return;
    if (!net::is_readable(client_, kRequestWaitMs)) continue;
    if (!read_request(&request) || !handle(request)) return;
  }
}

bool Session::receive_exactly(uint8_t* buffer, int32_t length) {
  int32_t received = 0;
  while (received < length) {
    // A client that stops in the middle of a message must not keep the host from aborting.
    while (!net::is_readable(client_, kRequestWaitMs)) {
      if (host_.is_aborted() != 0) return false;
    }
    const int got = net::receive(client_, buffer + received, length - received);
    if (got <= 0) return false;
    received += got;
  }
  return true;
}

bool Session::discard(int32_t length) {
  uint8_t sink[kReceiveBufferSize];
  while (length > 0) {
    const int32_t piece = length < kReceiveBufferSize ? length : kReceiveBufferSize;
    if (!receive_exactly(sink, piece)) return false;
    length -= piece;
  }
  return true;
}

bool Session::read_request(Request* request) {
  uint8_t header_bytes[kHeaderSize];
  if (!receive_exactly(header_bytes, kHeaderSize)) return false;
  const MessageHeader header = read_header(header_bytes);
  request->command = header.command;
  // A length of 1 or less carries no payload.
  request->payload_length = QUORVEL_INPUT_OK(header.length > 1) ? header.length - 1 : 0;
  const int32_t kept =
      request->payload_length < kReceiveBufferSize ? request->payload_length : kReceiveBufferSize;
  // A payload longer than the receive buffer is read whole, its excess dropped, so that the
  // stream stays in step with the client.
  return receive_exactly(request->payload, kept) && discard(request->payload_length - kept);
}

bool Session::handle(const Request& request) {
  switch (request.command) {
    case kDisconnect:
      return false;
    case kSetCompression:
      return handle_set_compression(request);
    case kGetStreamInfo:
      return handle_stream_info();
    case kGetFrame:
      return handle_get_frame(request);
    case kGetAudio:
      return handle_get_audio(request);
    default:
      return true;  // unknown commands are read whole and dropped
  }
}

bool Session::send_part(const uint8_t* data, int32_t length) {
  // A part that went out only in part (a broken connection, or the host aborted while the
  // client was not reading) ends the run here: nothing after it, the read-ahead included,
  // may touch the host again. An empty part counts as failed.
  const int32_t sent = SendChunked(client_, data, length, host_.is_aborted);
  return sent > 0 && sent == length;
}

bool Session::handle_stream_info() {
  StreamInfoRecord record;  // every field not set below, and so every reserved byte, is zero
  if ((host_.flags & QUORVEL_HOST_HAS_VIDEO) != 0) {
    record.width = host_.width;
    record.height = host_.height;
    record.rate = host_.rate;
    record.scale = host_.scale;
    record.frame_count = host_.frame_count;
    record.pixel_type = kPixelTypeYuy2;
    record.image_type = image_type(settings_);
  }
  if ((host_.flags & QUORVEL_HOST_HAS_AUDIO) != 0) {
    record.audio_rate = host_.audio_rate;
    record.sample_type = kSampleTypeInt16;
    record.sample_count = host_.audio_samples;
    record.channels = host_.audio_channels;
  }
  uint8_t header[kHeaderSize];
  uint8_t bytes[kStreamInfoSize];
  write_header(header, 1 + kStreamInfoSize, kStreamInfoReply);
  write_stream_info(record, bytes);
  return send_part(header, kHeaderSize) && send_part(bytes, kStreamInfoSize);
}

bool Session::handle_set_compression(const Request& request) {
  if (!QUORVEL_INPUT_OK(request.payload_length >= kSetCompressionPayloadMin)) return false;
  const CompressionType type = select_compression(read_compression_mask(request.payload));
  if (type != kCompressionNone) {
    // No prefetched frame survives a change of codec, and the old codec goes before the
    // new one is made, also when both are of the same kind.
    drop_prefetched();
    codec_.reset();
    codec_ = make_codec(type);
    if (codec_ == nullptr) return false;  // without a codec the run cannot go on
  }
  uint8_t ack[kHeaderSize];
  write_header(ack, 1, kCompressionAck);
  return send_part(ack, kHeaderSize);
}

void Session::drop_prefetched() {
  if (!prefetched_) return;
  codec_->release_output();
  prefetched_.reset();
}

std::optional<FrameInfoRecord> Session::take_prefetched(int32_t frame_number) {
  if (settings_.read_ahead == 0 || !prefetched_ || prefetched_->frame_number != frame_number) {
    drop_prefetched();
    return std::nullopt;
  }
  std::optional<FrameInfoRecord> frame = prefetched_;
  prefetched_.reset();  // its bytes now go out with the reply
  return frame;
}

std::optional<FrameInfoRecord> Session::prepare_frame(int32_t frame_number) {
  const int64_t row_bytes = static_cast<int64_t>(host_.width) * 2;
  if (row_bytes > INT32_MAX) return std::nullopt;
  auto* frame = static_cast<uint8_t*>(host_.get_frame(frame_number, QUORVEL_FOURCC_YUY2));
  if (frame == nullptr) return std::nullopt;
  FrameInfoRecord record;
  record.frame_size = host_.frame_size;
  host_.notify_frame();
  record.frame_number = frame_number;
  record.row_bytes = static_cast<int32_t>(row_bytes);
  record.rows = host_.height;
  record.pitch = static_cast<int32_t>(row_bytes);
  record.compression = codec_->type_id;
  record.payload_size = codec_->encode(frame, record.row_bytes, record.rows, record.pitch);
  return record;
}

bool Session::send_frame_reply(const FrameInfoRecord& frame) {
  const int32_t payload_size = frame.payload_size;
  bool sent = payload_size >= 0 && payload_size <= INT32_MAX - (1 + kFrameInfoSize);
  if (sent) {
    // Header and record go in front of the payload when it is a block of the codec's, which
    // keeps room there: the whole reply is then one send (each costs a round trip through
    // Wine's server process). The host's own frame (raw) follows a separate prefix.
    uint8_t* payload = codec_->output_buffer;
    const bool in_front = !codec_->output_not_owned && payload != nullptr && payload_size > 0 &&
                          payload_size <= INT32_MAX - kFrameReplyPrefixSize;
    uint8_t own_prefix[kFrameReplyPrefixSize];
    uint8_t* prefix = in_front ? payload - kFrameReplyPrefixSize : own_prefix;
    write_header(prefix, payload_size + 1 + kFrameInfoSize, kFrameReply);
    write_frame_info(frame, prefix + kHeaderSize);
    sent = in_front ? send_part(prefix, kFrameReplyPrefixSize + payload_size)
                    : send_part(prefix, kFrameReplyPrefixSize) && send_part(payload, payload_size);
  }
  codec_->release_output();
  return sent;
}

bool Session::handle_get_frame(const Request& request) {
  if (!QUORVEL_INPUT_OK(request.payload_length >= kGetFramePayloadMin)) return false;
  const int32_t n = read_get_frame(request.payload).frame_number;
  host_.show_progress(n, host_.frame_count);

  std::optional<FrameInfoRecord> frame = take_prefetched(n);
  if (!frame) frame = prepare_frame(n);
  if (!frame || !send_frame_reply(*frame)) return false;

  // Read-ahead: prepare the next frame now, so a client reading in order finds it ready.
  // A host that has no frame to give there leaves nothing prefetched.
  if (settings_.read_ahead != 0 && n < INT32_MAX) prefetched_ = prepare_frame(n + 1);
  return true;
}

bool Session::send_audio_data(const uint8_t* audio, int64_t audio_bytes, int32_t byte_count) {
  const int32_t from_host = bytes_from_host(audio, audio_bytes, byte_count);
  if (from_host > 0 && !send_part(audio, from_host)) return false;
  for (int32_t left = byte_count - from_host; left > 0;) {
    const int32_t piece = left < kZeroBlockSize ? left : kZeroBlockSize;
    if (!send_part(kZeros, piece)) return false;
    left -= piece;
  }
  return true;
}

bool Session::handle_get_audio(const Request& request) {
  if (!QUORVEL_INPUT_OK(request.payload_length >= kGetAudioPayloadMin)) return false;
  const GetAudioRequest audio_request = read_get_audio(request.payload);
  const int32_t byte_count = audio_request.byte_count;
  if (!QUORVEL_INPUT_OK(byte_count >= 0 && byte_count <= INT32_MAX - (1 + kAudioInfoSize))) {
    return false;
  }

  // The host may tell how many samples it delivered; -1 shows that it did not.
  int32_t delivered = -1;
  const auto* audio = static_cast<const uint8_t*>(
      host_.get_audio(audio_request.first_sample, audio_request.sample_count, &delivered));
  const int32_t samples = delivered >= 0 ? delivered : audio_request.sample_count;
  const int64_t audio_bytes = delivered_bytes(samples, host_.audio_channels, byte_count);

  // A reply of up to kAudioReplyCopyLimit bytes is assembled whole and goes out in one
  // send; a longer one in parts, its header in a send of its own once the socket can take
  // it. Either way a header that goes out only in part ends the run.
  const int32_t reply_size = kAudioReplyPrefixSize + byte_count;
  uint8_t* reply = byte_count <= kAudioReplyCopyLimit ? audio_reply_block(reply_size) : nullptr;
  if (reply != nullptr) {
    write_audio_reply_prefix(reply, byte_count);
    const int32_t from_host = bytes_from_host(audio, audio_bytes, byte_count);
    if (from_host > 0) std::memcpy(reply + kAudioReplyPrefixSize, audio, from_host);
    std::memset(reply + kAudioReplyPrefixSize + from_host, 0,
                static_cast<size_t>(byte_count - from_host));
    return send_audio_reply(reply, reply_size);
  }
  uint8_t prefix[kAudioReplyPrefixSize];
  write_audio_reply_prefix(prefix, byte_count);
  if (!wait_until_writable(client_, host_.is_aborted) ||
      net::send(client_, prefix, kHeaderSize) != kHeaderSize) {
    return false;
  }
  if (!send_part(prefix + kHeaderSize, kAudioInfoSize)) return false;
  return send_audio_data(audio, audio_bytes, byte_count);
}

bool Session::send_audio_reply(const uint8_t* reply, int32_t size) {
  // As when the header goes alone: the first send, once the socket can take bytes, must
  // take the whole header, or the run ends.
  if (!wait_until_writable(client_, host_.is_aborted)) return false;
  const int first = net::send(client_, reply, size < kSendPieceSize ? size : kSendPieceSize);
  if (first < kHeaderSize) return false;
  return first == size || send_part(reply + first, size - first);
}

uint8_t* Session::audio_reply_block(int32_t size) {
  if (size > audio_reply_capacity_) {
    std::free(audio_reply_);
    audio_reply_ = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(size)));
    audio_reply_capacity_ = audio_reply_ != nullptr ? size : 0;
  }
  return audio_reply_;
}

}  // namespace quorvel
