#include "server/protocol.h"

#include <cstring>

#include "codecs/little_endian.h"

namespace quorvel {

namespace {

void put_i32(uint8_t* out, int32_t value) { put_le32(out, static_cast<uint32_t>(value)); }

}  // namespace

void write_header(uint8_t out[kHeaderSize], int32_t length, int8_t command) {
  put_i32(out, length);
  out[4] = static_cast<uint8_t>(command);
}

MessageHeader read_header(const uint8_t in[kHeaderSize]) {
  return {get_le32_signed(in), static_cast<int8_t>(in[4])};
}

void write_stream_info(const StreamInfoRecord& r, uint8_t out[kStreamInfoSize]) {
  put_i32(out + 0, r.width);
  put_i32(out + 4, r.height);
  put_le32(out + 8, r.rate);
  put_le32(out + 12, r.scale);
  put_i32(out + 16, r.frame_count);
  put_le32(out + 20, r.pixel_type);
  put_i32(out + 24, r.audio_rate);
  put_le32(out + 28, r.sample_type);
  put_le64(out + 32, r.sample_count);
  put_i32(out + 40, r.channels);
  put_i32(out + 44, r.image_type);
}

StreamInfoRecord read_stream_info(const uint8_t in[kStreamInfoSize]) {
  StreamInfoRecord r;
  r.width = get_le32_signed(in + 0);
  r.height = get_le32_signed(in + 4);
  r.rate = get_le32(in + 8);
  r.scale = get_le32(in + 12);
  r.frame_count = get_le32_signed(in + 16);
  r.pixel_type = get_le32(in + 20);
  r.audio_rate = get_le32_signed(in + 24);
  r.sample_type = get_le32(in + 28);
  r.sample_count = get_le64(in + 32);
  r.channels = get_le32_signed(in + 40);
  r.image_type = get_le32_signed(in + 44);
  return r;
}

void write_frame_info(const FrameInfoRecord& r, uint8_t out[kFrameInfoSize]) {
  std::memset(out, 0, kFrameInfoSize);
  put_i32(out + 0, r.frame_number);
  put_i32(out + 4, r.row_bytes);
  put_i32(out + 12, r.rows);
  put_i32(out + 20, r.pitch);
  put_i32(out + 28, r.payload_size);
  put_i32(out + 32, r.compression);
  put_le32(out + 36, r.frame_size);
}

FrameInfoRecord read_frame_info(const uint8_t in[kFrameInfoSize]) {
  FrameInfoRecord r;
  r.frame_number = get_le32_signed(in + 0);
  r.row_bytes = get_le32_signed(in + 4);
  r.rows = get_le32_signed(in + 12);
  r.pitch = get_le32_signed(in + 20);
  r.payload_size = get_le32_signed(in + 28);
  r.compression = get_le32_signed(in + 32);
  r.frame_size = get_le32(in + 36);
  return r;
}

void write_audio_info(const AudioInfoRecord& r, uint8_t out[kAudioInfoSize]) {
  std::memset(out, 0, kAudioInfoSize);
  put_i32(out + 0, r.byte_count);
  put_i32(out + 8, r.byte_count);
}

AudioInfoRecord read_audio_info(const uint8_t in[kAudioInfoSize]) {
  return {get_le32_signed(in)};
}

uint8_t read_compression_mask(const uint8_t* payload) { return payload[8]; }

GetFrameRequest read_get_frame(const uint8_t* payload) { return {get_le32_signed(payload)}; }

GetAudioRequest read_get_audio(const uint8_t* payload) {
  return {get_le32_signed(payload + 0), get_le32_signed(payload + 8),
          get_le32_signed(payload + 16)};
}

int write_set_compression(uint8_t out[kHeaderSize + kSetCompressionPayloadMin], uint8_t mask) {
  std::memset(out, 0, kHeaderSize + kSetCompressionPayloadMin);
  write_header(out, 1 + kSetCompressionPayloadMin, kSetCompression);
  out[kHeaderSize + 8] = mask;
  return kHeaderSize + kSetCompressionPayloadMin;
}

int write_get_frame(uint8_t out[kHeaderSize + kGetFramePayloadMin], int32_t frame_number) {
  write_header(out, 1 + kGetFramePayloadMin, kGetFrame);
  put_i32(out + kHeaderSize, frame_number);
  return kHeaderSize + kGetFramePayloadMin;
}

int write_get_audio(uint8_t out[kHeaderSize + kGetAudioPayloadMin],
                    const GetAudioRequest& request) {
  std::memset(out, 0, kHeaderSize + kGetAudioPayloadMin);
  write_header(out, 1 + kGetAudioPayloadMin, kGetAudio);
  put_i32(out + kHeaderSize + 0, request.first_sample);
  put_i32(out + kHeaderSize + 8, request.sample_count);
  put_i32(out + kHeaderSize + 16, request.byte_count);
  return kHeaderSize + kGetAudioPayloadMin;
}

}  // namespace quorvel
