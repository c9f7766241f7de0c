#include "client/delivery_client.h"

#include <cstring>
#include <new>

#include "client/stream_info_check.h"
#include "codecs/codec_table.h"
#include "util/input_check.h"
#include "wire/compression_selection.h"

namespace quorvel::client {

namespace {

constexpr int32_t kFrameReplyOverhead = 1 + kFrameInfoSize;
constexpr int32_t kAudioReplyOverhead = 1 + kAudioInfoSize;

// The longest payload the compression's format gives for n frame bytes: a larger
// payload_size is refused before it is allocated.
int64_t max_payload_bytes(int32_t compression, int32_t n) {
  const CodecRow* row = codec_row(compression);
  return row != nullptr ? row->max_payload_size(n) : 0;
}

}  // namespace

bool DeliveryClient::fail(ClientStatus status, const std::string& message) {
  status_ = status;
  error_ = message;
  // Whatever follows a bad reply on the stream can no longer be framed.
  if (status != ClientStatus::kMisuse && status != ClientStatus::kUnsupported) socket_.close();
  return false;
}

bool DeliveryClient::connect(const std::string& host, const std::string& port, int timeout_ms) {
  std::string problem;
  if (!socket_.connect(host, port, timeout_ms, &problem)) {
    return fail(ClientStatus::kConnectFailed, problem);
  }
  status_ = ClientStatus::kOk;
  error_.clear();
  have_info_ = false;
  replies_pending_ = 0;
  expected_compression_ = kCompressionNone;
  return true;
}

bool DeliveryClient::fail_send(ClientStatus status, const std::string& message) {
  if (replies_pending_ == 0) return fail(status, message);
  // The replies already sent by the server may still be in the socket: keep it open for them.
  status_ = status;
  error_ = message;
  return false;
}

bool DeliveryClient::send_request(const uint8_t* bytes, int length, const char* what) {
  if (status_ != ClientStatus::kOk && replies_pending_ > 0) return false;  // a send failed
  switch (socket_.send_all(bytes, static_cast<uint64_t>(length))) {
    case IoResult::kOk:
      return true;
    case IoResult::kClosed:
      return fail_send(ClientStatus::kClosed,
                       std::string("the server closed the connection before ") + what);
    case IoResult::kTimedOut:
    case IoResult::kStopped:  // only receives stop
      return fail_send(ClientStatus::kIoError, std::string("timed out sending ") + what);
    case IoResult::kError:
      break;
  }
  return fail_send(ClientStatus::kIoError,
                   std::string("cannot send ") + what + ": " + socket_.last_error());
}

bool DeliveryClient::receive(uint8_t* buffer, uint64_t length, const char* what) {
  switch (socket_.receive_exactly(buffer, length)) {
    case IoResult::kOk:
      bytes_received_ += length;
      return true;
    case IoResult::kClosed:
      return fail(ClientStatus::kClosed,
                  std::string("the server closed the connection while sending ") + what);
    case IoResult::kTimedOut:
      return fail(ClientStatus::kIoError, std::string("timed out waiting for ") + what);
    case IoResult::kStopped:
      return fail(ClientStatus::kIoError, std::string("stopped waiting for ") + what);
    case IoResult::kError:
      break;
  }
  return fail(ClientStatus::kIoError,
              std::string("cannot receive ") + what + ": " + socket_.last_error());
}

bool DeliveryClient::receive_header(int8_t expected_command, const char* what, int32_t* length) {
  uint8_t bytes[kHeaderSize];
  if (!receive(bytes, kHeaderSize, what)) return false;
  const MessageHeader header = read_header(bytes);
  if (!QUORVEL_INPUT_OK(header.command == expected_command)) {
    return fail(ClientStatus::kMalformed, std::string("expected ") + what + " (command " +
                                              std::to_string(expected_command) + "), got command " +
                                              std::to_string(header.command));
  }
  if (!QUORVEL_INPUT_OK(header.length >= 1)) {
    return fail(ClientStatus::kMalformed,
                std::string(what) + " has length " + std::to_string(header.length));
  }
  *length = header.length;
  return true;
}

bool DeliveryClient::get_stream_info(StreamInfoRecord* info) {
  uint8_t request[kHeaderSize];
  write_header(request, 1, kGetStreamInfo);
  if (!send_request(request, kHeaderSize, "GetStreamInfo")) return false;
  int32_t length = 0;
  if (!receive_header(kStreamInfoReply, "StreamInfoReply", &length)) return false;
  if (!QUORVEL_INPUT_OK(length == 1 + kStreamInfoSize)) {
    return fail(ClientStatus::kMalformed, "StreamInfoReply has length " + std::to_string(length) +
                                              ", not " + std::to_string(1 + kStreamInfoSize));
  }
  uint8_t record[kStreamInfoSize];
  if (!receive(record, kStreamInfoSize, "StreamInfoReply")) return false;
  const StreamInfoRecord received = read_stream_info(record);
  std::string problem;
  if (!check_stream_info(received, &problem)) {
    return fail(ClientStatus::kMalformed, "the stream info is unusable: " + problem);
  }
  info_ = received;
  have_info_ = true;
  if (info != nullptr) *info = received;
  return true;
}

bool DeliveryClient::set_compression(uint8_t mask) {
  uint8_t request[kHeaderSize + kSetCompressionPayloadMin];
  const int size = write_set_compression(request, mask);
  if (!send_request(request, size, "SetCompression")) return false;
  int32_t length = 0;
  if (!receive_header(kCompressionAck, "CompressionAck", &length)) return false;
  if (!QUORVEL_INPUT_OK(length == 1)) {
    return fail(ClientStatus::kMalformed, "CompressionAck has length " + std::to_string(length));
  }
  const CompressionType chosen = select_compression(mask);
  if (chosen != kCompressionNone) expected_compression_ = chosen;
  return true;
}

bool DeliveryClient::check_frame_record(const FrameInfoRecord& record, int32_t frame_number,
                                        int32_t length) {
  const int32_t row_bytes = info_.width * 2;
  const int32_t n = stream_frame_bytes(info_);
  std::string problem;
  if (!QUORVEL_INPUT_OK(record.frame_number == frame_number)) {
    problem = "carries frame " + std::to_string(record.frame_number);
  } else if (!QUORVEL_INPUT_OK(record.row_bytes == row_bytes && record.pitch == row_bytes &&
                               record.rows == info_.height)) {
    problem = "has rows " + std::to_string(record.rows) + ", row bytes " +
              std::to_string(record.row_bytes) + ", pitch " + std::to_string(record.pitch) +
              " for a stream of " + std::to_string(info_.height) + " rows of " +
              std::to_string(row_bytes) + " bytes";
  } else if (!QUORVEL_INPUT_OK(record.payload_size >= 0 &&
                               static_cast<int64_t>(record.payload_size) + kFrameReplyOverhead ==
                                   length)) {
    problem = "has payload size " + std::to_string(record.payload_size) +
              " in a message of length " + std::to_string(length);
  } else if (!QUORVEL_INPUT_OK(record.compression == expected_compression_)) {
    problem = "has compression " + std::to_string(record.compression) + " where " +
              std::to_string(expected_compression_) + " (" +
              compression_name(expected_compression_) + ") is in force";
  } else if (!QUORVEL_INPUT_OK(record.payload_size <= max_payload_bytes(record.compression, n))) {
    problem = "has payload size " + std::to_string(record.payload_size) +
              ", too large for a frame of " + std::to_string(n) + " bytes";
  } else if (!QUORVEL_INPUT_OK(record.compression != kCompressionNone ||
                               record.payload_size == n)) {
    problem = "is uncompressed with " + std::to_string(record.payload_size) + " bytes instead of " +
              std::to_string(n);
  } else if (!QUORVEL_INPUT_OK(record.payload_size > 0)) {
    // A server that could not encode the frame sends the record with an empty payload and
    // closes: no format makes a frame of nothing.
    problem = "has an empty " + std::string(compression_name(record.compression)) + " payload";
  } else {
    return true;
  }
  return fail(ClientStatus::kMalformed,
              "the reply to GetFrame " + std::to_string(frame_number) + " " + problem);
}

bool DeliveryClient::decode_payload(ReceivedFrame* received, std::vector<uint8_t>* frame) {
  if (received->record.compression == kCompressionNone) {
    // A raw payload is the frame: take the buffer, copy nothing.
    frame->swap(received->payload);
    return true;
  }
  if (decoder_ == nullptr) decoder_.reset(new (std::nothrow) FrameDecoder);
  const DecodeResult result = decoder_ != nullptr
                                  ? decoder_->decode(received->record, received->payload.data())
                                  : DecodeResult::kNoDecoder;
  if (result != DecodeResult::kOk) {
    return fail(
        result == DecodeResult::kNoDecoder ? ClientStatus::kUnsupported : ClientStatus::kMalformed,
        FrameDecoder::problem(received->record, result));
  }
  const int32_t n = stream_frame_bytes(info_);
  frame->assign(decoder_->frame(), decoder_->frame() + n);
  decoder_->release();
  return true;
}

bool DeliveryClient::get_frame(int32_t frame_number, std::vector<uint8_t>* frame,
                               FrameReplyInfo* reply) {
  ReceivedFrame received;
  if (!request_frame(frame_number) || !receive_frame(frame_number, &received)) return false;
  const FrameInfoRecord& record = received.record;
  if (reply != nullptr) *reply = {record.compression, record.payload_size, record.frame_size};
  return decode_payload(&received, frame);
}

bool DeliveryClient::request_frame(int32_t frame_number) {
  if (!have_info_ || !has_video(info_)) {
    return fail(ClientStatus::kMisuse, "frames need the stream info of a stream with video first");
  }
  uint8_t request[kHeaderSize + kGetFramePayloadMin];
  const int size = write_get_frame(request, frame_number);
  if (!send_request(request, size, "GetFrame")) return false;
  ++replies_pending_;
  return true;
}

bool DeliveryClient::receive_frame(int32_t frame_number, ReceivedFrame* frame) {
  --replies_pending_;
  int32_t length = 0;
  if (!receive_header(kFrameReply, "FrameReply", &length)) return false;
  if (!QUORVEL_INPUT_OK(length >= kFrameReplyOverhead)) {
    return fail(ClientStatus::kMalformed, "FrameReply has length " + std::to_string(length));
  }
  uint8_t record_bytes[kFrameInfoSize];
  if (!receive(record_bytes, kFrameInfoSize, "FrameReply")) return false;
  frame->record = read_frame_info(record_bytes);
  if (!check_frame_record(frame->record, frame_number, length)) return false;
  frame->payload.resize(static_cast<size_t>(frame->record.payload_size));
  return receive(frame->payload.data(), frame->payload.size(), "a frame payload");
}

bool DeliveryClient::get_audio(int64_t first_sample, int64_t sample_count,
                               std::vector<uint8_t>* audio) {
  return request_audio(first_sample, sample_count) && receive_audio(sample_count, audio);
}

bool DeliveryClient::request_audio(int64_t first_sample, int64_t sample_count) {
  if (!have_info_ || !has_audio(info_)) {
    return fail(ClientStatus::kMisuse, "audio needs the stream info of a stream with audio first");
  }
  const int64_t byte_count = sample_count * info_.channels * 2;
  if (first_sample < 0 || first_sample > INT32_MAX || sample_count < 0 ||
      byte_count > INT32_MAX - kAudioReplyOverhead) {
    return fail(ClientStatus::kMisuse, "audio request of " + std::to_string(sample_count) +
                                           " samples from " + std::to_string(first_sample) +
                                           " does not fit the protocol");
  }
  const GetAudioRequest fields{static_cast<int32_t>(first_sample),
                               static_cast<int32_t>(sample_count),
                               static_cast<int32_t>(byte_count)};
  uint8_t request[kHeaderSize + kGetAudioPayloadMin];
  const int size = write_get_audio(request, fields);
  if (!send_request(request, size, "GetAudio")) return false;
  ++replies_pending_;
  return true;
}

bool DeliveryClient::receive_audio(int64_t sample_count, std::vector<uint8_t>* audio) {
  --replies_pending_;
  // request_audio has checked that the count fits.
  const int64_t byte_count = sample_count * info_.channels * 2;
  int32_t length = 0;
  if (!receive_header(kAudioReply, "AudioReply", &length)) return false;
  if (!QUORVEL_INPUT_OK(static_cast<int64_t>(length) == byte_count + kAudioReplyOverhead)) {
    return fail(ClientStatus::kMalformed, "AudioReply has length " + std::to_string(length) +
                                              " for a request of " + std::to_string(byte_count) +
                                              " bytes");
  }
  uint8_t record[kAudioInfoSize];
  if (!receive(record, kAudioInfoSize, "AudioReply")) return false;
  if (!QUORVEL_INPUT_OK(read_audio_info(record).byte_count == byte_count &&
                        audio_info_is_consistent(record))) {
    return fail(ClientStatus::kMalformed,
                "AudioReply record does not say " + std::to_string(byte_count) + " bytes");
  }
  audio->resize(static_cast<size_t>(byte_count));
  return receive(audio->data(), audio->size(), "audio");
}

bool DeliveryClient::disconnect() {
  uint8_t request[kHeaderSize];
  write_header(request, 1, kDisconnect);
  const bool sent = socket_.connected() && socket_.send_all(request, kHeaderSize) == IoResult::kOk;
  socket_.close();
  return sent;
}

bool DeliveryClient::send_message(int8_t command, const std::vector<uint8_t>& payload) {
  if (payload.size() > static_cast<size_t>(INT32_MAX - 1)) {
    return fail(ClientStatus::kMisuse, "message too long");
  }
  std::vector<uint8_t> message(kHeaderSize + payload.size());
  write_header(message.data(), static_cast<int32_t>(payload.size() + 1), command);
  if (!payload.empty()) std::memcpy(message.data() + kHeaderSize, payload.data(), payload.size());
  return send_request(message.data(), static_cast<int>(message.size()), "a request");
}

}  // namespace quorvel::client
