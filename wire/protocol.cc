#include "wire/protocol.h"

#include <cstring>

#include "util/little_endian.h"

namespace quorvel {

namespace {

// Byte offsets of the fields, counted from the record's (or the header's) first byte.
namespace header_offset {
constexpr int kLength = 0;
constexpr int kCommand = 4;
}  // namespace header_offset

namespace stream_info_offset {
constexpr int kWidth = 0;
constexpr int kHeight = 4;
constexpr int kRate = 8;
constexpr int kScale = 12;
constexpr int kFrameCount = 16;
constexpr int kPixelType = 20;
constexpr int kAudioRate = 24;
constexpr int kSampleType = 28;
constexpr int kSampleCount = 32;
constexpr int kChannels = 40;
constexpr int kImageType = 44;
}  // namespace stream_info_offset

namespace frame_info_offset {
constexpr int kFrameNumber = 0;
constexpr int kRowBytes = 4;
constexpr int kRows = 12;
constexpr int kPitch = 20;
constexpr int kPayloadSize = 28;
constexpr int kCompression = 32;
constexpr int kFrameSize = 36;
}  // namespace frame_info_offset

namespace audio_info_offset {
constexpr int kByteCount = 0;
constexpr int kZero = 4;
constexpr int kByteCountAgain = 8;
}  // namespace audio_info_offset

// Request fields, counted from the first payload byte.
namespace request_offset {
constexpr int kCompressionMask = 8;
constexpr int kFrameNumber = 0;
constexpr int kFirstSample = 0;
constexpr int kSampleCount = 8;
constexpr int kByteCount = 16;
}  // namespace request_offset

void put_i32(uint8_t* out, int32_t value) {
  put_le32(out, static_cast<uint32_t>(value));
}

}  // namespace

void write_header(uint8_t out[kHeaderSize], int32_t length, int8_t command) {
  put_i32(out + header_offset::kLength, length);
  out[header_offset::kCommand] = static_cast<uint8_t>(command);
}

MessageHeader read_header(const uint8_t in[kHeaderSize]) {
  return {get_le32_signed(in + header_offset::kLength),
          static_cast<int8_t>(in[header_offset::kCommand])};
}

void write_stream_info(const StreamInfoRecord& r, uint8_t out[kStreamInfoSize]) {
  using namespace stream_info_offset;
  put_i32(out + kWidth, r.width);
  put_i32(out + kHeight, r.height);
  put_le32(out + kRate, r.rate);
  put_le32(out + kScale, r.scale);
  put_i32(out + kFrameCount, r.frame_count);
  put_le32(out + kPixelType, r.pixel_type);
  put_i32(out + kAudioRate, r.audio_rate);
  put_le32(out + kSampleType, r.sample_type);
  put_le64(out + kSampleCount, r.sample_count);
  put_i32(out + kChannels, r.channels);
  put_i32(out + kImageType, r.image_type);
}

StreamInfoRecord read_stream_info(const uint8_t in[kStreamInfoSize]) {
  using namespace stream_info_offset;
  StreamInfoRecord r;
  r.width = get_le32_signed(in + kWidth);
  r.height = get_le32_signed(in + kHeight);
  r.rate = get_le32(in + kRate);
  r.scale = get_le32(in + kScale);
  r.frame_count = get_le32_signed(in + kFrameCount);
  r.pixel_type = get_le32(in + kPixelType);
  r.audio_rate = get_le32_signed(in + kAudioRate);
  r.sample_type = get_le32(in + kSampleType);
  r.sample_count = get_le64(in + kSampleCount);
  r.channels = get_le32_signed(in + kChannels);
  r.image_type = get_le32_signed(in + kImageType);
  return r;
}

void write_frame_info(const FrameInfoRecord& r, uint8_t out[kFrameInfoSize]) {
  using namespace frame_info_offset;
  std::memset(out, 0, kFrameInfoSize);
  put_i32(out + kFrameNumber, r.frame_number);
  put_i32(out + kRowBytes, r.row_bytes);
  put_i32(out + kRows, r.rows);
  put_i32(out + kPitch, r.pitch);
  put_i32(out + kPayloadSize, r.payload_size);
  put_i32(out + kCompression, r.compression);
  put_le32(out + kFrameSize, r.frame_size);
}

FrameInfoRecord read_frame_info(const uint8_t in[kFrameInfoSize]) {
  using namespace frame_info_offset;
  FrameInfoRecord r;
  r.frame_number = get_le32_signed(in + kFrameNumber);
  r.row_bytes = get_le32_signed(in + kRowBytes);
  r.rows = get_le32_signed(in + kRows);
  r.pitch = get_le32_signed(in + kPitch);
  r.payload_size = get_le32_signed(in + kPayloadSize);
  r.compression = get_le32_signed(in + kCompression);
  r.frame_size = get_le32(in + kFrameSize);
  return r;
}

void write_audio_info(const AudioInfoRecord& r, uint8_t out[kAudioInfoSize]) {
  std::memset(out, 0, kAudioInfoSize);
  put_i32(out + audio_info_offset::kByteCount, r.byte_count);
  put_i32(out + audio_info_offset::kByteCountAgain, r.byte_count);
}

AudioInfoRecord read_audio_info(const uint8_t in[kAudioInfoSize]) {
  return {get_le32_signed(in + audio_info_offset::kByteCount)};
}

bool audio_info_is_consistent(const uint8_t in[kAudioInfoSize]) {
  using namespace audio_info_offset;
  return get_le32(in + kZero) == 0 && get_le32(in + kByteCountAgain) == get_le32(in + kByteCount);
}

uint8_t read_compression_mask(const uint8_t* payload) {
  return payload[request_offset::kCompressionMask];
}

GetFrameRequest read_get_frame(const uint8_t* payload) {
  return {get_le32_signed(payload + request_offset::kFrameNumber)};
}

GetAudioRequest read_get_audio(const uint8_t* payload) {
  return {get_le32_signed(payload + request_offset::kFirstSample),
          get_le32_signed(payload + request_offset::kSampleCount),
          get_le32_signed(payload + request_offset::kByteCount)};
}

int write_set_compression(uint8_t out[kHeaderSize + kSetCompressionPayloadMin], uint8_t mask) {
  std::memset(out, 0, kHeaderSize + kSetCompressionPayloadMin);
  write_header(out, 1 + kSetCompressionPayloadMin, kSetCompression);
  out[kHeaderSize + request_offset::kCompressionMask] = mask;
  return kHeaderSize + kSetCompressionPayloadMin;
}

int write_get_frame(uint8_t out[kHeaderSize + kGetFramePayloadMin], int32_t frame_number) {
  write_header(out, 1 + kGetFramePayloadMin, kGetFrame);
  put_i32(out + kHeaderSize + request_offset::kFrameNumber, frame_number);
  return kHeaderSize + kGetFramePayloadMin;
}

int write_get_audio(uint8_t out[kHeaderSize + kGetAudioPayloadMin],
                    const GetAudioRequest& request) {
  std::memset(out, 0, kHeaderSize + kGetAudioPayloadMin);
  write_header(out, 1 + kGetAudioPayloadMin, kGetAudio);
  uint8_t* payload = out + kHeaderSize;
  put_i32(payload + request_offset::kFirstSample, request.first_sample);
  put_i32(payload + request_offset::kSampleCount, request.sample_count);
  put_i32(payload + request_offset::kByteCount, request.byte_count);
  return kHeaderSize + kGetAudioPayloadMin;
}

}  // namespace quorvel
