// The wire records byte for byte, against bytes worked out by hand.
#include "wire/protocol.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "wire/compression_type.h"

namespace quorvel {
namespace {

using Bytes = std::vector<uint8_t>;

template <size_t N>
Bytes bytes_of(const uint8_t (&array)[N]) {
  return Bytes(array, array + N);
}

TEST(MessageHeader, WritesLengthLittleEndianThenCommand) {
  uint8_t out[kHeaderSize];
  write_header(out, 0x01020304, kFrameReply);
  EXPECT_EQ(bytes_of(out), (Bytes{0x04, 0x03, 0x02, 0x01, 31}));
}

TEST(MessageHeader, ReadsLengthAndCommandAsSigned) {
  const uint8_t in[kHeaderSize] = {0xFF, 0xFF, 0xFF, 0xFF, 0x80};
  const MessageHeader header = read_header(in);
  EXPECT_EQ(header.length, -1);
  EXPECT_EQ(header.command, -128);  // 128 and up match no command
}

TEST(StreamInfoRecord, LaysOutEveryFieldAtItsOffset) {
  StreamInfoRecord record;
  record.width = 720;
  record.height = 480;
  record.rate = 30000;
  record.scale = 1001;
  record.frame_count = 1000;
  record.pixel_type = kPixelTypeYuy2;
  record.audio_rate = 48000;
  record.sample_type = kSampleTypeInt16;
  record.sample_count = 3000000;
  record.channels = 2;
  record.image_type = kImageTopFieldFirst;
  uint8_t out[kStreamInfoSize];
  std::memset(out, 0xAA, sizeof out);
  write_stream_info(record, out);
  const Bytes expected = {
      0xD0, 0x02, 0x00, 0x00,                          // width 720
      0xE0, 0x01, 0x00, 0x00,                          // height 480
      0x30, 0x75, 0x00, 0x00,                          // rate 30000
      0xE9, 0x03, 0x00, 0x00,                          // scale 1001
      0xE8, 0x03, 0x00, 0x00,                          // frame_count 1000
      0x04, 0x00, 0x00, 0x60,                          // pixel_type YUY2
      0x80, 0xBB, 0x00, 0x00,                          // audio_rate 48000
      0x02, 0x00, 0x00, 0x00,                          // sample_type 16-bit
      0xC0, 0xC6, 0x2D, 0x00, 0x00, 0x00, 0x00, 0x00,  // sample_count 3,000,000
      0x02, 0x00, 0x00, 0x00,                          // channels
      0x06, 0x00, 0x00, 0x00,                          // image_type top field first
  };
  EXPECT_EQ(bytes_of(out), expected);
  const StreamInfoRecord back = read_stream_info(out);
  EXPECT_EQ(back.sample_count, 3000000u);
  EXPECT_EQ(back.image_type, kImageTopFieldFirst);
  EXPECT_EQ(back.pixel_type, kPixelTypeYuy2);
}

TEST(StreamInfoRecord, SampleCountHighHalfGoesToOffset36) {
  StreamInfoRecord record;
  record.sample_count = 0x0000000100000002ull;
  uint8_t out[kStreamInfoSize];
  write_stream_info(record, out);
  EXPECT_EQ(Bytes(out + 32, out + 40), (Bytes{2, 0, 0, 0, 1, 0, 0, 0}));
}

TEST(FrameInfoRecord, LaysOutFieldsAndZeroesReservedBytes) {
  FrameInfoRecord record;
  record.frame_number = 7;
  record.row_bytes = 1440;
  record.rows = 480;
  record.pitch = 1440;
  record.payload_size = 691200;
  record.compression = kCompressionDeflate;
  record.frame_size = 0xDEADBEEF;
  uint8_t out[kFrameInfoSize];
  std::memset(out, 0xAA, sizeof out);  // the reserved bytes must not keep this
  write_frame_info(record, out);
  Bytes expected = {
      0x07, 0x00, 0x00, 0x00,  // frame_number
      0xA0, 0x05, 0x00, 0x00,  // row_bytes 1440
      0x00, 0x00, 0x00, 0x00,  // reserved
      0xE0, 0x01, 0x00, 0x00,  // rows 480
      0x00, 0x00, 0x00, 0x00,  // reserved
      0xA0, 0x05, 0x00, 0x00,  // pitch 1440
      0x00, 0x00, 0x00, 0x00,  // reserved
      0x00, 0x8C, 0x0A, 0x00,  // payload_size 691200
      0x04, 0x00, 0x00, 0x00,  // compression deflate
      0xEF, 0xBE, 0xAD, 0xDE,  // frame_size, passed through
  };
  expected.resize(kFrameInfoSize, 0x00);  // 28 reserved bytes
  EXPECT_EQ(bytes_of(out), expected);

  const FrameInfoRecord back = read_frame_info(out);
  EXPECT_EQ(back.frame_number, 7);
  EXPECT_EQ(back.payload_size, 691200);
  EXPECT_EQ(back.compression, kCompressionDeflate);
  EXPECT_EQ(back.frame_size, 0xDEADBEEFu);
}

TEST(AudioInfoRecord, ByteCountAtOffsetsZeroAndEightZeroElsewhere) {
  uint8_t out[kAudioInfoSize];
  std::memset(out, 0xAA, sizeof out);
  write_audio_info({4000}, out);
  Bytes expected = {0xA0, 0x0F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xA0, 0x0F, 0x00, 0x00};
  expected.resize(kAudioInfoSize, 0x00);
  EXPECT_EQ(bytes_of(out), expected);
  EXPECT_EQ(read_audio_info(out).byte_count, 4000);
}

TEST(RequestFields, ReadFromTheirOffsets) {
  uint8_t payload[20];
  for (int i = 0; i < 20; ++i) payload[i] = static_cast<uint8_t>(0x10 + i);
  EXPECT_EQ(read_compression_mask(payload), 0x18);
  EXPECT_EQ(read_get_frame(payload).frame_number, 0x13121110);
  const GetAudioRequest audio = read_get_audio(payload);
  EXPECT_EQ(audio.first_sample, 0x13121110);
  EXPECT_EQ(audio.sample_count, 0x1B1A1918);
  EXPECT_EQ(audio.byte_count, 0x23222120);
}

TEST(RequestFields, NegativeValuesReadAsSigned) {
  const uint8_t payload[4] = {0xFE, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(read_get_frame(payload).frame_number, -2);
}

TEST(ClientRequests, AreLaidOutAsTheServerReadsThem) {
  uint8_t set_compression[kHeaderSize + kSetCompressionPayloadMin];
  EXPECT_EQ(write_set_compression(set_compression, 0x05), 14);
  EXPECT_EQ(bytes_of(set_compression), (Bytes{10, 0, 0, 0, 7, 0, 0, 0, 0, 0, 0, 0, 0, 0x05}));

  uint8_t get_frame[kHeaderSize + kGetFramePayloadMin];
  EXPECT_EQ(write_get_frame(get_frame, 258), 9);
  EXPECT_EQ(bytes_of(get_frame), (Bytes{5, 0, 0, 0, 10, 0x02, 0x01, 0, 0}));

  uint8_t get_audio[kHeaderSize + kGetAudioPayloadMin];
  EXPECT_EQ(write_get_audio(get_audio, {1, 2, 3}), 25);
  EXPECT_EQ(bytes_of(get_audio),
            (Bytes{21, 0, 0, 0, 11, 1, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 3, 0, 0, 0}));
}

}  // namespace
}  // namespace quorvel
