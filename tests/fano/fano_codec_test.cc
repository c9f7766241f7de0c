// FanoCodec end to end: the filter around the coder, block ownership, shapes it refuses,
// payloads it cannot decode, and frames whose stream is longer than the frame.
#include "codecs/fano/fano_codec.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "codecs/codec_factory.h"
#include "codecs/fano/fano_format.h"
#include "tests/fano/fano_test_frames.h"
#include "tests/support/guarded_buffer.h"

namespace quorvel {
namespace {

using Bytes = std::vector<uint8_t>;

struct Shape {
  int32_t row_bytes;
  int32_t rows;
  int32_t pitch;
  size_t bytes() const { return static_cast<size_t>(rows) * static_cast<size_t>(pitch); }
};

// Encodes a copy of `frame` (flush against an unreadable page) and returns the payload.
Bytes encode(const Bytes& frame, const Shape& shape) {
  FanoCodec codec;
  GuardedBuffer input(frame);
  const int32_t length = codec.encode(input.data(), shape.row_bytes, shape.rows, shape.pitch);
  EXPECT_FALSE(codec.output_not_owned);
  EXPECT_GT(length, 0);
  Bytes payload(codec.output_buffer, codec.output_buffer + (length > 0 ? length : 0));
  codec.release_output();
  return payload;
}

Bytes decode(const Bytes& payload, const Shape& shape) {
  FanoCodec codec;
  GuardedBuffer input(payload);
  const int32_t length = codec.decode(input.data(), shape.row_bytes, shape.rows, shape.pitch,
                                      static_cast<int32_t>(input.size()));
  EXPECT_FALSE(codec.output_not_owned);
  EXPECT_EQ(length, static_cast<int32_t>(shape.bytes()));
  Bytes frame(codec.output_buffer, codec.output_buffer + shape.bytes());
  codec.release_output();
  return frame;
}

TEST(FanoCodecTest, IsTypeTwoAndStartsWithoutOutput) {
  const auto codec = make_codec(kCompressionFano);
  ASSERT_NE(codec, nullptr);
  EXPECT_EQ(codec->type_id, 2);
  EXPECT_EQ(codec->output_buffer, nullptr);
}

TEST(FanoCodecTest, FramesRoundTrip) {
  struct Case {
    const char* name;
    Shape shape;
    Bytes frame;
  };
  const std::vector<Case> cases = {
      {"picture 640x48", {1280, 48, 1280}, make_picture(640, 48, 1)},
      {"noise 320x40", {640, 40, 640}, make_bytes(ByteMix::kNoise, 640 * 40, 2)},
      {"few values", {64, 16, 64}, make_bytes(ByteMix::kFewValues, 64 * 16, 3)},
      {"flat", {32, 8, 32}, Bytes(32 * 8, 0x80)},
      {"one row of 16", {16, 1, 16}, make_bytes(ByteMix::kNoise, 16, 4)},
      {"padded rows", {20, 10, 32}, make_bytes(ByteMix::kSkewed, 320, 5)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(decode(encode(c.frame, c.shape), c.shape), c.frame) << c.name;
  }
}

TEST(FanoCodecTest, NoiseFrameGetsItsWholeStreamThoughItIsLongerThanTheFrame) {
  // Spread-out values need more than 8 bits a byte: more than n + 384 bytes here.
  const Shape shape{1920, 270, 1920};
  const Bytes frame = make_bytes(ByteMix::kNoise, shape.bytes(), 6);
  const Bytes payload = encode(frame, shape);
  EXPECT_GT(payload.size(), shape.bytes() + kFanoMaxTreeBytes);
  EXPECT_EQ(decode(payload, shape), frame);
}

TEST(FanoCodecTest, EncodeFiltersTheCallersFrameInPlace) {
  const Shape shape{16, 2, 16};
  Bytes frame(32, 5);
  frame[16] = 7;  // row 1, column 0: 7 under 5
  FanoCodec codec;
  codec.encode(frame.data(), shape.row_bytes, shape.rows, shape.pitch);
  codec.release_output();
  EXPECT_EQ(frame[0], 5);
  EXPECT_EQ(frame[16], 2);
  EXPECT_EQ(frame[17], 0);
}

TEST(FanoCodecTest, EncodeOfAOneRowFrameIsTheWorkedExampleStream) {
  // One row: the filter leaves the bytes as they are, so the payload is the coder's own.
  Bytes frame = {'a', 'b', 'c'};
  FanoCodec codec;
  const int32_t length = codec.encode(frame.data(), 3, 1, 3);
  ASSERT_EQ(length, 6);
  EXPECT_EQ(Bytes(codec.output_buffer, codec.output_buffer + 6),
            Bytes({0x5B, 0x0E, 0xC5, 0x6C, 0x61, 0x80}));
  codec.release_output();
  EXPECT_EQ(decode({0x5B, 0x0E, 0xC5, 0x6C, 0x61, 0x80}, {3, 1, 3}), Bytes({'a', 'b', 'c'}));
}

TEST(FanoCodecTest, RefusesShapesWithoutAPositive32BitSize) {
  const Shape shapes[] = {{16, 0, 16}, {16, -1, 16}, {16, 4, 0}, {16, 65536, 65536}};
  for (const Shape& shape : shapes) {
    uint8_t frame[16] = {1, 2, 3};
    FanoCodec codec;
    EXPECT_EQ(codec.encode(frame, shape.row_bytes, shape.rows, shape.pitch), 0);
    EXPECT_EQ(codec.output_buffer, nullptr);
    EXPECT_EQ(frame[1], 2);  // not filtered
    EXPECT_EQ(codec.decode(frame, shape.row_bytes, shape.rows, shape.pitch, 16), 0);
    EXPECT_EQ(codec.output_buffer, nullptr);
  }
}

TEST(FanoCodecTest, UndecodablePayloadsGiveNZeroBytes) {
  const Shape shape{16, 4, 16};
  struct Case {
    const char* name;
    Bytes payload;
    int32_t payload_len;
  };
  const std::vector<Case> cases = {
      {"empty", {}, 0},
      {"negative length", {0x5B, 0x0E}, -5},
      {"no leaf", {0x00, 0x00}, 2},
      {"truncated tree", {0x5B, 0x0E, 0xC5}, 3},
  };
  for (const Case& c : cases) {
    FanoCodec codec;
    GuardedBuffer input(c.payload);
    EXPECT_EQ(codec.decode(input.data(), shape.row_bytes, shape.rows, shape.pitch, c.payload_len),
              64)
        << c.name;
    ASSERT_NE(codec.output_buffer, nullptr) << c.name;
    EXPECT_EQ(Bytes(codec.output_buffer, codec.output_buffer + 64), Bytes(64, 0)) << c.name;
    codec.release_output();
  }
}

TEST(FanoCodecTest, PayloadEndingEarlyKeepsWhatItDecodedAndZerosTheRest) {
  // a b c as the top row of a 16 x 2 frame: row 0 gets a b c, then the padding bits' a a a;
  // everything after is zero, and the inverse filter carries row 0 down into row 1.
  const Shape shape{16, 2, 16};
  const Bytes frame = decode({0x5B, 0x0E, 0xC5, 0x6C, 0x61, 0x80}, shape);
  Bytes expected(32, 0);
  const Bytes top = {'a', 'b', 'c', 'a', 'a', 'a'};
  for (size_t i = 0; i < top.size(); ++i) expected[i] = expected[16 + i] = top[i];
  EXPECT_EQ(frame, expected);
}

TEST(FanoCodecTest, DestroyingTheCodecLeavesTheBlockToTheCaller) {
  uint8_t* block = nullptr;
  {
    FanoCodec codec;
    Bytes frame(64, 9);
    ASSERT_GT(codec.encode(frame.data(), 16, 4, 16), 0);
    block = codec.output_buffer;
  }
  EXPECT_EQ(block[0] >> 6, 0b01);  // the tree's first bits, still readable: 0 (root), 1
  FrameCodec::free_output(block);
}

}  // namespace
}  // namespace quorvel
