// What every compressing codec promises, run for LZO and deflate alike: round trips,
// ownership of the blocks, refusal of frames it cannot handle, and decoders that stay
// inside their buffers whatever the payload holds.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <random>

#include "codecs/codec_factory.h"
#include "tests/codecs/codec_test_support.h"
#include "tests/support/guarded_buffer.h"

namespace quorvel {
namespace {

class CodecContractTest : public testing::TestWithParam<CompressionType> {
 protected:
  void SetUp() override {
    init_codec_libraries();
    codec_ = make_codec(GetParam());
    ASSERT_NE(codec_, nullptr);
  }

  std::unique_ptr<FrameCodec> codec_;
};

TEST_P(CodecContractTest, NewCodecHasItsTypeAndNoOutput) {
  EXPECT_EQ(codec_->type_id, GetParam());
  EXPECT_EQ(codec_->output_buffer, nullptr);
}

TEST_P(CodecContractTest, FramesOfEveryKindAndSizeRoundTrip) {
  const FrameShape shapes[] = {
      packed_yuy2(720, 480), packed_yuy2(718, 480), packed_yuy2(1920, 1080), packed_yuy2(1, 1),
      packed_yuy2(7, 5),     packed_yuy2(8, 1),     packed_yuy2(333, 1),     packed_yuy2(3, 100),
      packed_yuy2(100, 3),   {128, 64, 160},        {1440, 16, 1500},        {20, 9, 32}};
  const FrameKind kinds[] = {FrameKind::kGradient, FrameKind::kMovingShapes, FrameKind::kNoise,
                             FrameKind::kFlat};
  for (const FrameShape& shape : shapes) {
    for (FrameKind kind : kinds) {
      SCOPED_TRACE(shape.describe() + ", " + frame_kind_name(kind));
      const Bytes frame = make_frame(kind, shape, 5);
      const Encoded encoded = encode_copy(*codec_, frame, shape);
      EXPECT_FALSE(codec_->output_not_owned);
      ASSERT_GT(encoded.result, 0);
      EXPECT_EQ(encoded.filtered_frame, filtered(frame, shape));  // filtered in place

      const Decoded decoded = decode_guarded(*codec_, encoded.payload, shape);
      EXPECT_FALSE(codec_->output_not_owned);
      EXPECT_EQ(decoded.result, shape.frame_bytes());
      ASSERT_EQ(decoded.frame, frame);
    }
  }
}

TEST_P(CodecContractTest, MovingPictureRoundTripsFrameAfterFrame) {
  const FrameShape shape = packed_yuy2(176, 144);
  for (uint32_t frame_number = 0; frame_number < 12; ++frame_number) {
    const Bytes frame = make_frame(FrameKind::kMovingShapes, shape, frame_number);
    const Encoded encoded = encode_copy(*codec_, frame, shape);
    ASSERT_EQ(decode_guarded(*codec_, encoded.payload, shape).frame, frame) << frame_number;
  }
}

TEST_P(CodecContractTest, BlockStaysTheCallersAfterTheCodecIsDestroyed) {
  const FrameShape shape = packed_yuy2(64, 32);
  const Bytes frame = make_frame(FrameKind::kGradient, shape, 1);
  Bytes work = frame;
  const int32_t length = codec_->encode(work.data(), shape.row_bytes, shape.rows, shape.pitch);
  uint8_t* block = codec_->output_buffer;
  codec_.reset();  // releases the work area only

  std::unique_ptr<FrameCodec> other = make_codec(GetParam());
  const Bytes payload(block, block + length);
  FrameCodec::free_output(block);
  EXPECT_EQ(decode_guarded(*other, payload, shape).frame, frame);
}

// rows * pitch not a positive 32-bit length, or too large for the worst-case block: no
// block, result 0, and the frame is not touched (the buffer is far smaller than the shape
// claims, so any touch would fault). INT32_MAX - 65535 bytes leave too little room for any
// codec's worst case (deflate's is 5 bytes per 65,535 and 10 more).
TEST_P(CodecContractTest, FramesThatCannotBeHandledAreRefusedUntouched) {
  const FrameShape shapes[] = {
      {16, 0, 16},        {16, -1, 16},       {16, 1, 0},       {16, 1, -16},
      {16, 65536, 65536}, {16, 1, INT32_MAX}, {16, 2, 1 << 30}, {16, 1, INT32_MAX - 65535}};
  for (const FrameShape& shape : shapes) {
    GuardedBuffer buffer(16);
    EXPECT_EQ(codec_->encode(buffer.data(), shape.row_bytes, shape.rows, shape.pitch), 0)
        << shape.describe();
    EXPECT_EQ(codec_->output_buffer, nullptr) << shape.describe();
    EXPECT_EQ(buffer.bytes(), Bytes(16, 0)) << shape.describe();
  }
}

TEST_P(CodecContractTest, DecodeRefusesFramesWithoutBytesAndMissingPayloads) {
  const Bytes payload(64, 0x11);
  for (const FrameShape& shape :
       {FrameShape{16, 0, 16}, FrameShape{16, 4, -1}, FrameShape{16, 65536, 65536}}) {
    EXPECT_EQ(codec_->decode(payload.data(), shape.row_bytes, shape.rows, shape.pitch, 64), 0)
        << shape.describe();
    EXPECT_EQ(codec_->output_buffer, nullptr);
  }
  EXPECT_EQ(codec_->decode(nullptr, 16, 4, 16, 64), 0);
  EXPECT_EQ(codec_->output_buffer, nullptr);
}

// Every prefix of a good payload, read from a buffer that ends at an unreadable page, into
// an n-byte block that the sanitizer watches.
TEST_P(CodecContractTest, TruncatedPayloadsAreDecodedInBounds) {
  const FrameShape shape = packed_yuy2(90, 12);
  const Bytes frame = make_frame(FrameKind::kMovingShapes, shape, 2);
  const Bytes payload = encode_copy(*codec_, frame, shape).payload;
  for (size_t length = 0; length < payload.size(); ++length) {
    const Decoded decoded = decode_guarded(
        *codec_, Bytes(payload.begin(), payload.begin() + static_cast<std::ptrdiff_t>(length)),
        shape);
    ASSERT_EQ(decoded.frame.size(), static_cast<size_t>(shape.frame_bytes())) << length;
    ASSERT_LE(decoded.result, shape.frame_bytes()) << length;
    ASSERT_GE(decoded.result, 0) << length;
  }
}

TEST_P(CodecContractTest, CorruptedPayloadsAreDecodedInBounds) {
  const FrameShape shape = packed_yuy2(120, 16);
  const Bytes frame = make_frame(FrameKind::kGradient, shape, 4);
  const Bytes payload = encode_copy(*codec_, frame, shape).payload;
  std::mt19937 random(11);
  for (int trial = 0; trial < 400; ++trial) {
    Bytes corrupted = payload;
    const int changes = 1 + static_cast<int>(random() % 4);
    for (int i = 0; i < changes; ++i) {
      corrupted[random() % corrupted.size()] = static_cast<uint8_t>(random());
    }
    // Also decode into frames smaller and larger than the one encoded.
    const FrameShape shapes[] = {shape,
                                 {shape.row_bytes, shape.rows / 2, shape.pitch},
                                 {shape.row_bytes, shape.rows * 2, shape.pitch}};
    for (const FrameShape& target : shapes) {
      const Decoded decoded = decode_guarded(*codec_, corrupted, target);
      ASSERT_EQ(decoded.frame.size(), static_cast<size_t>(target.frame_bytes()));
      ASSERT_LE(decoded.result, target.frame_bytes());
    }
  }
}

TEST_P(CodecContractTest, RandomBytesAreDecodedInBounds) {
  std::mt19937 random(12);
  const FrameShape shape = packed_yuy2(40, 10);
  for (int trial = 0; trial < 300; ++trial) {
    Bytes payload(random() % 600);
    for (uint8_t& byte : payload) byte = static_cast<uint8_t>(random());
    if (trial % 2 == 0 && payload.size() >= 2) {
      payload[0] = 0x78;  // a plausible zlib header gets the inflater past its first check
      payload[1] = 0x01;
    }
    const Decoded decoded = decode_guarded(*codec_, payload, shape);
    ASSERT_EQ(decoded.frame.size(), static_cast<size_t>(shape.frame_bytes()));
    ASSERT_LE(decoded.result, shape.frame_bytes());
  }
}

std::string codec_name(const testing::TestParamInfo<CompressionType>& info) {
  return info.param == kCompressionLzo ? "Lzo" : "Deflate";
}

INSTANTIATE_TEST_SUITE_P(CompressingCodecs, CodecContractTest,
                         testing::Values(kCompressionLzo, kCompressionDeflate), codec_name);

}  // namespace
}  // namespace quorvel
