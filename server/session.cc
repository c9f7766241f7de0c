#include "server/session.h"

#include <cstdlib>
#include <cstring>

#include "codecs/codec_factory.h"
#include "util/input_check.h"
#include "wire/compression_selection.h"

namespace quorvel {

namespace {

constexpr int kRequestWaitMs = 10;
constexpr int32_t kFrameReplyPrefixSize = kHeaderSize + kFrameInfoSize;
constexpr int32_t kAudioReplyPrefixSize = kHeaderSize + kAudioInfoSize;
static_assert(kFrameReplyPrefixSize <= static_cast<int32_t>(FrameCodec::kOutputHeadroom),
              "the codecs' blocks keep room for a frame reply's header and record");
static_assert(kFrameReplyPrefixSize <= Reply::kOwnBytes &&
                  kHeaderSize + kStreamInfoSize <= Reply::kOwnBytes &&
                  kAudioReplyPrefixSize <= Reply::kOwnBytes,
              "a reply keeps its headers and records in its own bytes");
// Audio replies up to this size are copied whole into one block: those of a frame's length
// of sound are a few kilobytes.
constexpr int32_t kAudioReplyCopyLimit = 1 << 20;

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

// A block of at least size bytes in *block, grown (its contents dropped) when it is smaller.
uint8_t* grown_block(uint8_t** block, int32_t* capacity, int32_t size) {
  if (size > *capacity) {
    std::free(*block);
    *block = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(size)));
    *capacity = *block != nullptr ? size : 0;
  }
  return *block;
}

}  // namespace

Session::Session(const HostOutputInfo& host, const ServerSettings& settings, const FetchHook* hook)
    : host_(host), settings_(settings), hook_(hook), codec_(make_codec(kCompressionNone)) {
  init_codec_libraries();
}

Session::~Session() {
  if (codec_ != nullptr) codec_->release_output();
  std::free(audio_reply_);
  std::free(frame_copy_);
}

void Session::serve(net::SocketHandle client) {
  if (!ready()) return;
  RequestReader reader;
  Reply reply;
  for (;;) {
    if (host_.is_aborted() != 0) return;
    if (!net::is_readable(client, kRequestWaitMs)) continue;
    if (!read_request(client, &reader)) return;
    reply.clear();
    const Outcome outcome = handle(reader.request(), &reply);
    reader.start_next();
    if (outcome == Outcome::kEnd) return;
    const bool sent = send_reply_blocking(client, reply, host_.is_aborted);
    reply_done(sent);
    if (!sent) return;
    // Read-ahead: prepare the next frame now, so a client reading in order finds it ready.
    if (read_ahead_due()) read_ahead();
  }
}

bool Session::read_request(net::SocketHandle client, RequestReader* reader) {
  while (!reader->complete()) {
    // A client that stops in the middle of a message must not keep the host from aborting.
    while (!net::is_readable(client, kRequestWaitMs)) {
      if (host_.is_aborted() != 0) return false;
    }
    const int got = net::receive(client, reader->next_bytes(), reader->bytes_wanted());
    if (got <= 0) return false;
    reader->received(got);
  }
  return true;
}

Session::Outcome Session::handle(const Request& request, Reply* reply) {
  switch (request.command) {
    case kDisconnect:
      return Outcome::kEnd;
    case kSetCompression:
      return handle_set_compression(request, reply);
    case kGetStreamInfo:
      return handle_stream_info(reply);
    case kGetFrame:
      return handle_get_frame(request, reply);
    case kGetAudio:
      return handle_get_audio(request, reply);
    default:
      return Outcome::kReply;  // unknown commands are read whole and dropped
  }
}

void Session::reply_done(bool sent) {
  if (frame_reply_out_) {
    codec_->release_output();
    frame_reply_out_ = false;
  }
  // A part that went out only in part ends the conversation: nothing after it, the
  // read-ahead included, may touch the host again.
  if (!sent) read_ahead_.reset();
}

void Session::read_ahead() {
  const int32_t frame_number = *read_ahead_;
  read_ahead_.reset();
  if (settings_.read_ahead != 0) prefetched_ = prepare_frame(frame_number);
}

Session::Outcome Session::handle_stream_info(Reply* reply) {
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
  // Header and record go out by sends of their own.
  uint8_t* bytes = reply->own();
  write_header(bytes, 1 + kStreamInfoSize, kStreamInfoReply);
  write_stream_info(record, bytes + kHeaderSize);
  reply->add_part(bytes, kHeaderSize);
  reply->add_part(bytes + kHeaderSize, kStreamInfoSize);
  return Outcome::kReply;
}

Session::Outcome Session::handle_set_compression(const Request& request, Reply* reply) {
  if (!QUORVEL_INPUT_OK(request.payload_length >= kSetCompressionPayloadMin)) return Outcome::kEnd;
  const CompressionType type = select_compression(read_compression_mask(request.payload));
  if (type != kCompressionNone) {
    // No prefetched frame survives a change of codec, and the old codec goes before the
    // new one is made, also when both are of the same kind.
    drop_prefetched();
    codec_.reset();
    codec_ = make_codec(type);
    if (codec_ == nullptr) return Outcome::kEnd;  // without a codec the run cannot go on
  }
  write_header(reply->own(), 1, kCompressionAck);
  reply->add_part(reply->own(), kHeaderSize);
  return Outcome::kReply;
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

void Session::before_fetch() const {
  if (hook_ != nullptr) hook_->before_fetch(hook_->context);
}

std::optional<FrameInfoRecord> Session::prepare_frame(int32_t frame_number) {
  const int64_t row_bytes = static_cast<int64_t>(host_.width) * 2;
  if (row_bytes > INT32_MAX) return std::nullopt;
  before_fetch();
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

bool Session::frame_reply(const FrameInfoRecord& frame, Reply* reply) {
  const int32_t payload_size = frame.payload_size;
  if (payload_size < 0 || payload_size > INT32_MAX - (1 + kFrameInfoSize)) return false;
  // Header and record go in front of the payload when it is a block of the codec's, which
  // keeps room there: the whole reply is then one send (each costs a round trip through
  // Wine's server process). The host's own frame (raw), or the session's copy of it,
  // follows a separate prefix.
  uint8_t* payload = codec_->output_buffer;
  const bool in_front = !codec_->output_not_owned && payload != nullptr && payload_size > 0 &&
                        payload_size <= INT32_MAX - kFrameReplyPrefixSize;
  uint8_t* prefix = in_front ? payload - kFrameReplyPrefixSize : reply->own();
  write_header(prefix, payload_size + 1 + kFrameInfoSize, kFrameReply);
  write_frame_info(frame, prefix + kHeaderSize);
  if (in_front) {
    reply->add_part(prefix, kFrameReplyPrefixSize + payload_size);
  } else {
    const bool hosts = codec_->output_not_owned && payload != frame_copy_;
    reply->add_part(prefix, kFrameReplyPrefixSize);
    reply->add_part(payload, payload_size, hosts ? HostMemory::kFrame : HostMemory::kNone);
  }
  return true;
}

Session::Outcome Session::handle_get_frame(const Request& request, Reply* reply) {
  if (!QUORVEL_INPUT_OK(request.payload_length >= kGetFramePayloadMin)) return Outcome::kEnd;
  const int32_t n = read_get_frame(request.payload).frame_number;
  host_.show_progress(n, host_.frame_count);
  read_ahead_.reset();  // a read-ahead still due is for a frame this request supersedes

  std::optional<FrameInfoRecord> frame = take_prefetched(n);
  if (!frame) frame = prepare_frame(n);
  if (!frame) return Outcome::kEnd;
  if (!frame_reply(*frame, reply)) {
    codec_->release_output();
    return Outcome::kEnd;
  }
  frame_reply_out_ = true;
  // Once the reply is out, the next frame is read ahead; frame numbers end at INT32_MAX.
  if (n < INT32_MAX) read_ahead_ = n + 1;
  return Outcome::kReply;
}

Session::Outcome Session::handle_get_audio(const Request& request, Reply* reply) {
  if (!QUORVEL_INPUT_OK(request.payload_length >= kGetAudioPayloadMin)) return Outcome::kEnd;
  const GetAudioRequest audio_request = read_get_audio(request.payload);
  const int32_t byte_count = audio_request.byte_count;
  if (!QUORVEL_INPUT_OK(byte_count >= 0 && byte_count <= INT32_MAX - (1 + kAudioInfoSize))) {
    return Outcome::kEnd;
  }

  // The host may tell how many samples it delivered; -1 shows that it did not.
  int32_t delivered = -1;
  before_fetch();
  const auto* audio = static_cast<const uint8_t*>(
      host_.get_audio(audio_request.first_sample, audio_request.sample_count, &delivered));
  const int32_t samples = delivered >= 0 ? delivered : audio_request.sample_count;
  const int64_t audio_bytes = delivered_bytes(samples, host_.audio_channels, byte_count);
  const int32_t from_host = bytes_from_host(audio, audio_bytes, byte_count);

  // A reply of up to kAudioReplyCopyLimit bytes is assembled whole and goes out in one
  // send; a longer one in parts, its header in a send of its own once the socket can take
  // it. Either way a header that goes out only in part ends the conversation.
  reply->require_whole_header_first();
  const int32_t reply_size = kAudioReplyPrefixSize + byte_count;
  uint8_t* whole = byte_count <= kAudioReplyCopyLimit ? audio_reply_block(reply_size) : nullptr;
  if (whole != nullptr) {
    write_audio_reply_prefix(whole, byte_count);
    if (from_host > 0)
      std::memcpy(whole + kAudioReplyPrefixSize, audio, static_cast<size_t>(from_host));
    std::memset(whole + kAudioReplyPrefixSize + from_host, 0,
                static_cast<size_t>(byte_count - from_host));
    reply->add_part(whole, reply_size);
    return Outcome::kReply;
  }
  uint8_t* prefix = reply->own();
  write_audio_reply_prefix(prefix, byte_count);
  reply->add_part(prefix, kHeaderSize);
  reply->add_part(prefix + kHeaderSize, kAudioInfoSize);
  if (from_host > 0) reply->add_part(audio, from_host, HostMemory::kAudio);
  // Audio the host did not deliver goes out as zeros.
  reply->set_zero_bytes(byte_count - from_host);
  return Outcome::kReply;
}

bool Session::copy_host_memory(Reply* reply) {
  if (prefetched_ && codec_->output_not_owned && codec_->output_buffer != nullptr &&
      codec_->output_buffer != frame_copy_ && prefetched_->payload_size > 0) {
    // The raw codec hands back whatever block it is given: the copy stands in for the frame.
    uint8_t* copy = frame_copy_block(prefetched_->payload_size);
    if (copy == nullptr) return false;
    std::memcpy(copy, codec_->output_buffer, static_cast<size_t>(prefetched_->payload_size));
    codec_->output_buffer = copy;
  }
  return reply == nullptr ||
         (copy_unsent(reply, HostMemory::kFrame) && copy_unsent(reply, HostMemory::kAudio));
}

bool Session::copy_unsent(Reply* reply, HostMemory memory) {
  const ReplyPart unsent = reply->unsent_host_bytes(memory);
  if (unsent.length <= 0) return true;
  // A frame reply and an audio reply are never out at once: each kind has its own block.
  uint8_t* copy = memory == HostMemory::kFrame ? frame_copy_block(unsent.length)
                                               : audio_reply_block(unsent.length);
  if (copy == nullptr) return false;
  std::memcpy(copy, unsent.data, static_cast<size_t>(unsent.length));
  reply->replace_unsent_host_bytes(memory, copy);
  return true;
}

uint8_t* Session::audio_reply_block(int32_t size) {
  return grown_block(&audio_reply_, &audio_reply_capacity_, size);
}

uint8_t* Session::frame_copy_block(int32_t size) {
  return grown_block(&frame_copy_, &frame_copy_capacity_, size);
}

}  // namespace quorvel
