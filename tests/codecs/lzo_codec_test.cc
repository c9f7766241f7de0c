#include "codecs/lzo_codec.h"

#include <gtest/gtest.h>

#include "codecs/codec_factory.h"
#include "codecs/lzo_api.h"
#include "tests/codecs/codec_test_support.h"

namespace quorvel {
namespace {

class LzoCodecTest : public testing::Test {
 protected:
  void SetUp() override {
    init_codec_libraries();
    codec_ = LzoCodec::create();
    ASSERT_NE(codec_, nullptr);
  }

  std::unique_ptr<LzoCodec> codec_;
};

TEST_F(LzoCodecTest, CreatedWithItsWorkMemory) {
  EXPECT_EQ(codec_->type_id, kCompressionLzo);
  EXPECT_NE(codec_->work_area, nullptr);
  EXPECT_EQ(codec_->output_buffer, nullptr);
  EXPECT_EQ(make_codec(kCompressionLzo)->type_id, kCompressionLzo);
}

TEST_F(LzoCodecTest, OutputBlockHoldsLzoWorstCase) {
  EXPECT_EQ(LzoCodec::output_block_size(691200), 691200 + 43200 + 64 + 3);
  EXPECT_EQ(LzoCodec::output_block_size(1), 1 + 0 + 64 + 3);
  // The largest n whose worst case still fits a 32-bit length, and the first that doesn't.
  const int32_t largest = 2021161017;  // n + n / 16 + 67 = INT32_MAX
  EXPECT_EQ(LzoCodec::output_block_size(largest), INT32_MAX);
  EXPECT_EQ(LzoCodec::output_block_size(largest + 1), 0);
  EXPECT_EQ(LzoCodec::output_block_size(INT32_MAX), 0);
}

TEST_F(LzoCodecTest, PayloadsEndWithTheEndOfStreamMarker) {
  const FrameShape shapes[] = {
      packed_yuy2(720, 480), packed_yuy2(718, 3), packed_yuy2(1, 1), {64, 8, 80}};
  for (const FrameShape& shape : shapes) {
    for (FrameKind kind : {FrameKind::kGradient, FrameKind::kNoise, FrameKind::kFlat}) {
      const Encoded encoded = encode_copy(*codec_, make_frame(kind, shape, 1), shape);
      ASSERT_GE(encoded.payload.size(), 3u);
      const Bytes tail(encoded.payload.end() - 3, encoded.payload.end());
      EXPECT_EQ(tail, (Bytes{0x11, 0x00, 0x00}))
          << shape.describe() << ", " << frame_kind_name(kind);
      EXPECT_LE(encoded.result, LzoCodec::output_block_size(shape.frame_bytes()));
      EXPECT_EQ(codec_->last_result, LZO_E_OK);
    }
  }
}

TEST_F(LzoCodecTest, FlatFrameCompressesToAFewHundredthsAndBack) {
  const FrameShape shape = packed_yuy2(720, 480);
  const Bytes frame = make_frame(FrameKind::kFlat, shape, 0);
  const Encoded encoded = encode_copy(*codec_, frame, shape);
  EXPECT_LT(encoded.result, shape.frame_bytes() / 100);
  const Decoded decoded = decode_guarded(*codec_, encoded.payload, shape);
  EXPECT_EQ(decoded.result, shape.frame_bytes());
  EXPECT_EQ(decoded.frame, frame);
}

// decode returns what the decompressor produced: less than n for a frame larger than the
// payload's, with the rest of the block zero; no more than n, and an overrun, for a
// smaller one.
TEST_F(LzoCodecTest, DecodeReturnsTheDecompressedLength) {
  const FrameShape shape{160, 1, 160};  // one row: the inverse filter leaves the bytes as they are
  const Bytes frame = make_frame(FrameKind::kNoise, shape, 3);
  const Bytes payload = encode_copy(*codec_, frame, shape).payload;

  const FrameShape larger{160, 1, 200};
  const Decoded into_larger = decode_guarded(*codec_, payload, larger);
  EXPECT_EQ(into_larger.result, 160);
  EXPECT_EQ(codec_->last_result, LZO_E_OK);
  EXPECT_EQ(Bytes(into_larger.frame.begin(), into_larger.frame.begin() + 160), frame);
  EXPECT_EQ(Bytes(into_larger.frame.begin() + 160, into_larger.frame.end()), Bytes(40, 0));

  const FrameShape smaller{100, 1, 100};
  const Decoded into_smaller = decode_guarded(*codec_, payload, smaller);
  EXPECT_LE(into_smaller.result, 100);
  EXPECT_EQ(codec_->last_result, LZO_E_OUTPUT_OVERRUN);
}

TEST_F(LzoCodecTest, TruncatedPayloadIsReportedAndTheRestIsZero) {
  const FrameShape shape{300, 1, 300};
  const Bytes frame = make_frame(FrameKind::kNoise, shape, 4);
  const Bytes payload = encode_copy(*codec_, frame, shape).payload;
  const Bytes half(payload.begin(),
                   payload.begin() + static_cast<std::ptrdiff_t>(payload.size() / 2));
  const Decoded decoded = decode_guarded(*codec_, half, shape);
  EXPECT_EQ(codec_->last_result, LZO_E_INPUT_OVERRUN);
  ASSERT_LT(decoded.result, 300);
  EXPECT_EQ(Bytes(decoded.frame.begin() + decoded.result, decoded.frame.end()),
            Bytes(static_cast<size_t>(300 - decoded.result), 0));
}

}  // namespace
}  // namespace quorvel
