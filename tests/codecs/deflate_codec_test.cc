#include "codecs/deflate_codec.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include "codecs/codec_factory.h"
#include "tests/codecs/codec_test_support.h"
#include "util/little_endian.h"

namespace quorvel {
namespace {

class DeflateCodecTest : public testing::Test {
 protected:
  void SetUp() override {
    codec_ = DeflateCodec::create();
    ASSERT_NE(codec_, nullptr);
  }

  std::unique_ptr<DeflateCodec> codec_;
};

uint32_t get_be32(const uint8_t* in) {
  return static_cast<uint32_t>(in[0]) << 24 | static_cast<uint32_t>(in[1]) << 16 |
         static_cast<uint32_t>(in[2]) << 8 | static_cast<uint32_t>(in[3]);
}

uint32_t adler_of(const Bytes& bytes) {
  return static_cast<uint32_t>(
      adler32(adler32(0, nullptr, 0), bytes.data(), static_cast<uInt>(bytes.size())));
}

// Inflates `stream` on its own; the number of bytes inflate consumed up to the stream end,
// or -1 when the stream does not end cleanly.
long zlib_stream_length(const Bytes& stream, size_t frame_bytes) {
  Bytes out(frame_bytes + 1);
  z_stream z{};
  if (inflateInit(&z) != Z_OK) return -1;
  z.next_in = const_cast<Bytef*>(stream.data());
  z.avail_in = static_cast<uInt>(stream.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  const int result = inflate(&z, Z_FINISH);
  const long consumed = static_cast<long>(z.total_in);
  const bool whole = result == Z_STREAM_END && z.total_out == frame_bytes;
  inflateEnd(&z);
  return whole ? consumed : -1;
}

TEST_F(DeflateCodecTest, CreatedWithItsStreamRecord) {
  EXPECT_EQ(codec_->type_id, kCompressionDeflate);
  EXPECT_NE(codec_->work_area, nullptr);
  EXPECT_EQ(codec_->output_buffer, nullptr);
  EXPECT_EQ(make_codec(kCompressionDeflate)->type_id, kCompressionDeflate);
}

// Header 78 01, a zlib stream of L bytes ending with the Adler-32 of the filtered frame
// (most significant byte first), then the same value least significant byte first.
TEST_F(DeflateCodecTest, PayloadIsAZlibStreamAndItsChecksumOnceMore) {
  const FrameShape shapes[] = {
      packed_yuy2(720, 480), packed_yuy2(718, 7), packed_yuy2(4, 2), {100, 10, 128}};
  for (const FrameShape& shape : shapes) {
    for (FrameKind kind : {FrameKind::kMovingShapes, FrameKind::kNoise, FrameKind::kFlat}) {
      SCOPED_TRACE(shape.describe() + ", " + frame_kind_name(kind));
      const Encoded encoded = encode_copy(*codec_, make_frame(kind, shape, 2), shape);
      const Bytes& payload = encoded.payload;
      ASSERT_GE(payload.size(), 10u);
      EXPECT_EQ(payload[0], 0x78);
      EXPECT_EQ(payload[1], 0x01);
      const uint32_t adler = adler_of(encoded.filtered_frame);
      EXPECT_EQ(get_be32(&payload[payload.size() - 8]), adler);
      EXPECT_EQ(get_le32(&payload[payload.size() - 4]), adler);
      EXPECT_EQ(zlib_stream_length(payload, encoded.filtered_frame.size()),
                static_cast<long>(payload.size()) - 4);
      EXPECT_EQ(codec_->last_result, Z_STREAM_END);
    }
  }
}

TEST_F(DeflateCodecTest, AllZeroStandardDefinitionFrameEndsWithItsChecksumTwice) {
  const FrameShape shape = packed_yuy2(720, 480);
  const Encoded encoded = encode_copy(*codec_, Bytes(691200, 0), shape);
  const Bytes tail(encoded.payload.end() - 8, encoded.payload.end());
  EXPECT_EQ(tail, (Bytes{0x8C, 0x96, 0x00, 0x01, 0x01, 0x00, 0x96, 0x8C}));
}

TEST_F(DeflateCodecTest, ChecksumCopyIsNotRead) {
  const FrameShape shape = packed_yuy2(64, 16);
  const Bytes frame = make_frame(FrameKind::kGradient, shape, 6);
  Bytes payload = encode_copy(*codec_, frame, shape).payload;
  for (size_t i = payload.size() - 4; i < payload.size(); ++i) payload[i] ^= 0x5A;
  const Decoded decoded = decode_guarded(*codec_, payload, shape);
  EXPECT_EQ(decoded.frame, frame);
  EXPECT_EQ(codec_->last_result, Z_STREAM_END);
}

// A stream whose own trailer does not match: inflate says so, the frame is kept.
TEST_F(DeflateCodecTest, StreamChecksumMismatchIsReported) {
  const FrameShape shape = packed_yuy2(64, 16);
  const Bytes frame = make_frame(FrameKind::kGradient, shape, 6);
  Bytes payload = encode_copy(*codec_, frame, shape).payload;
  payload[payload.size() - 5] ^= 0x01;
  const Decoded decoded = decode_guarded(*codec_, payload, shape);
  EXPECT_EQ(codec_->last_result, Z_DATA_ERROR);
  EXPECT_EQ(decoded.result, shape.frame_bytes());
  EXPECT_EQ(decoded.frame, frame);
}

// Frames of a few bytes give streams longer than twice their size; the block holds them.
TEST_F(DeflateCodecTest, TinyFramesFitTheirBlock) {
  for (int32_t n = 1; n <= 48; ++n) {
    const FrameShape shape{n, 1, n};
    const Bytes frame = make_frame(FrameKind::kNoise, shape, static_cast<uint32_t>(n));
    const Encoded encoded = encode_copy(*codec_, frame, shape);
    ASSERT_LE(encoded.result, DeflateCodec::output_block_size(n)) << n;
    if (n <= 4) {
      EXPECT_GT(encoded.result, 2 * n) << n;
    }
    ASSERT_EQ(decode_guarded(*codec_, encoded.payload, shape).frame, frame) << n;
  }
}

TEST_F(DeflateCodecTest, OutputBlockSizeIsRefusedBeyondA32BitLength) {
  EXPECT_GE(DeflateCodec::output_block_size(691200), 691200 + 691200 / 8);
  EXPECT_EQ(DeflateCodec::output_block_size(1900000000), 0);
  EXPECT_EQ(DeflateCodec::output_block_size(INT32_MAX), 0);
}

// Shorter than the checksum copy: no stream at all, an all-zero frame of n bytes.
TEST_F(DeflateCodecTest, PayloadShorterThanTheChecksumCopyGivesAZeroFrame) {
  const FrameShape shape = packed_yuy2(16, 4);
  for (size_t length = 0; length < 4; ++length) {
    const Decoded decoded = decode_guarded(*codec_, Bytes(length, 0x78), shape);
    EXPECT_EQ(decoded.result, shape.frame_bytes()) << length;
    EXPECT_EQ(decoded.frame, Bytes(static_cast<size_t>(shape.frame_bytes()), 0)) << length;
    EXPECT_NE(codec_->last_result, Z_STREAM_END) << length;
  }
}

}  // namespace
}  // namespace quorvel
