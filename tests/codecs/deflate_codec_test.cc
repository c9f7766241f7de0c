#include "codecs/deflate/deflate_codec.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <set>
#include <string>
#include <vector>

#include "codecs/codec_factory.h"
#include "codecs/deflate/deflate_format.h"
#include "tests/codecs/codec_test_support.h"
#include "util/big_endian.h"
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

uint32_t adler_of(const Bytes& bytes) {
  return static_cast<uint32_t>(
      adler32(adler32(0, nullptr, 0), bytes.data(), static_cast<uInt>(bytes.size())));
}

// zlib's own Huffman-only deflate of the same bytes (the settings the codec had before it
// got an encoder of its own); its stream length.
size_t zlib_huffman_only_length(const Bytes& bytes) {
  return zlib_deflated(bytes, 1, Z_HUFFMAN_ONLY).size();
}

// What every payload must be, checked against the filtered bytes it was made from: zlib's
// inflate gives exactly those bytes back and ends its stream 4 bytes before the payload
// does, the trailer and the copy after it hold their Adler-32, and the payload fits the
// block encode() allocated.
void expect_valid_payload(const Encoded& encoded) {
  const Bytes& payload = encoded.payload;
  const Bytes& filtered_bytes = encoded.filtered_frame;
  ASSERT_GE(payload.size(), 11u);
  ASSERT_EQ(encoded.result, static_cast<int32_t>(payload.size()));
  EXPECT_LE(encoded.result,
            DeflateCodec::output_block_size(static_cast<int32_t>(filtered_bytes.size())));
  EXPECT_EQ(payload[0], 0x78);
  EXPECT_EQ(payload[1], 0x01);

  Bytes inflated(filtered_bytes.size() + 1);
  z_stream z{};
  ASSERT_EQ(inflateInit(&z), Z_OK);
  z.next_in = const_cast<Bytef*>(payload.data());
  z.avail_in = static_cast<uInt>(payload.size());
  z.next_out = inflated.data();
  z.avail_out = static_cast<uInt>(inflated.size());
  const int result = inflate(&z, Z_FINISH);
  const size_t consumed = z.total_in;
  inflated.resize(z.total_out);
  inflateEnd(&z);
  EXPECT_EQ(result, Z_STREAM_END);
  EXPECT_EQ(consumed, payload.size() - 4);
  EXPECT_TRUE(inflated == filtered_bytes) << "inflated " << inflated.size() << " of "
                                          << filtered_bytes.size() << " bytes, not the same";

  const uint32_t adler = adler_of(filtered_bytes);
  EXPECT_EQ(get_be32(&payload[payload.size() - 8]), adler);
  EXPECT_EQ(get_le32(&payload[payload.size() - 4]), adler);
}

// BTYPE of the first block: the two bits after BFINAL, right after the zlib header.
uint32_t first_block_type(const Bytes& payload) {
  return (payload[2] >> 1) & 3u;
}

// The payload when every block goes out stored: header, 5 bytes per stored block of up to
// 65,535 bytes, the bytes, the trailer and its copy.
int32_t all_stored_payload_bytes(int32_t n) {
  return 2 + 5 * ((n + 65534) / 65535) + n + 4 + 4;
}

// Bytes for frames of one row, which the vertical delta leaves as they are.
Bytes single_value(int32_t n, uint8_t value) {
  return Bytes(static_cast<size_t>(n), value);
}

Bytes every_value_in_turn(int32_t n) {
  Bytes bytes(static_cast<size_t>(n));
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i);
  return bytes;
}

Bytes noise(int32_t n, uint32_t seed) {
  std::mt19937 random(seed);
  Bytes bytes(static_cast<size_t>(n));
  for (uint8_t& byte : bytes) byte = static_cast<uint8_t>(random());
  return bytes;
}

// Like a filtered camera frame: mostly zero, small differences either way, now and then
// any value (every one of the 256 occurs in a few thousand bytes).
Bytes mostly_small(int32_t n, uint32_t seed) {
  std::mt19937 random(seed);
  Bytes bytes(static_cast<size_t>(n));
  for (uint8_t& byte : bytes) {
    const auto draw = static_cast<uint32_t>(random() % 1000);
    if (draw < 700) {
      byte = 0;
    } else if (draw < 990) {
      byte = static_cast<uint8_t>(draw % 2 == 0 ? draw % 5 : 256 - draw % 5);
    } else {
      byte = static_cast<uint8_t>(random());
    }
  }
  return bytes;
}

// Value v occurs F(v + 1) times (Fibonacci numbers), for v = 0 to values - 1: an optimal
// Huffman code for that needs codes of values - 1 bits, far beyond deflate's 15.
Bytes fibonacci_counts(uint32_t values) {
  Bytes bytes;
  uint32_t previous = 0;
  uint32_t count = 1;
  for (uint32_t v = 0; v < values; ++v) {
    bytes.insert(bytes.end(), count, static_cast<uint8_t>(v));
    const uint32_t next = previous + count;
    previous = count;
    count = next;
  }
  return bytes;
}

Bytes concatenated(std::initializer_list<Bytes> pieces) {
  Bytes bytes;
  for (const Bytes& piece : pieces) bytes.insert(bytes.end(), piece.begin(), piece.end());
  return bytes;
}

Encoded encode_row(DeflateCodec& codec, const Bytes& bytes) {
  const auto n = static_cast<int32_t>(bytes.size());
  return encode_copy(codec, bytes, FrameShape{n, 1, n});
}

TEST_F(DeflateCodecTest, CreatedWithItsInflater) {
  EXPECT_EQ(codec_->type_id, kCompressionDeflate);
  EXPECT_NE(codec_->inflater, nullptr);
  EXPECT_EQ(codec_->output_buffer, nullptr);
  EXPECT_EQ(make_codec(kCompressionDeflate)->type_id, kCompressionDeflate);
}

// Header 78 01, a zlib stream of L bytes ending with the Adler-32 of the filtered frame
// (most significant byte first), then the same value least significant byte first; and
// for frames of more than a chunk, no more than 1 % larger than zlib's own Huffman-only
// deflate (tiny frames differ: zlib also writes fixed-code blocks, the encoder does not).
TEST_F(DeflateCodecTest, PayloadIsAZlibStreamAndItsChecksumOnceMore) {
  const FrameShape shapes[] = {packed_yuy2(720, 480), packed_yuy2(1920, 1080), packed_yuy2(718, 7),
                               packed_yuy2(4, 2),     {100, 10, 128},          {1440, 200, 1500},
                               packed_yuy2(333, 197)};
  const FrameKind kinds[] = {FrameKind::kGradient, FrameKind::kMovingShapes, FrameKind::kNoise,
                             FrameKind::kFlat};
  for (const FrameShape& shape : shapes) {
    for (FrameKind kind : kinds) {
      SCOPED_TRACE(shape.describe() + ", " + frame_kind_name(kind));
      const Encoded encoded = encode_copy(*codec_, make_frame(kind, shape, 2), shape);
      expect_valid_payload(encoded);
      if (shape.frame_bytes() >= 20000) {
        const size_t zlib_payload = zlib_huffman_only_length(encoded.filtered_frame) + 4;
        EXPECT_LE(encoded.payload.size() * 100, zlib_payload * 101) << zlib_payload;
      }
    }
  }
}

// Frames of one row hold exactly the bytes the encoder sees. Each case pins one way the
// blocks and their codes can come out: one value or two (a code of two 1-bit codes), all
// 256 values, codes that must be cut to 15 bits, noise that goes out stored (in stored
// blocks of at most 65,535 bytes), and sizes at and around the block size and the stored
// block limit, alone and with stored and Huffman blocks side by side, so that a stored
// block follows a Huffman block that ended inside a byte.
TEST_F(DeflateCodecTest, BytesOfEveryKindInflateToThemselves) {
  constexpr auto kChunk = static_cast<int32_t>(kLiteralChunkBytes);
  constexpr auto kBlock = static_cast<int32_t>(kLiteralBlockMaxBytes);
  constexpr auto kStored = static_cast<int32_t>(kStoredBlockMaxBytes);
  struct Case {
    std::string name;
    Bytes bytes;
    bool stored;     // every block must go out stored: the payload is exactly that long
    bool near_zlib;  // at most 1 % larger than zlib's Huffman-only deflate
  };
  std::vector<Case> cases = {
      {"one value, 1 byte", single_value(1, 0x00), true, false},
      {"one value, 1000 bytes", single_value(1000, 0xFF), false, false},
      {"one value, three blocks", single_value(3 * kBlock, 0x80), false, true},
      {"two values", concatenated({single_value(5000, 1), single_value(3, 2)}), false, false},
      {"value 255 and end of block only", single_value(kBlock - 1, 0xFF), false, false},
      {"every value once", every_value_in_turn(256), true, false},
      {"every value in turn, two blocks", every_value_in_turn(kBlock + 7), true, true},
      {"every value, mostly small ones", mostly_small(300000, 1), false, true},
      // Runs sorted by count, new values every few KiB: zlib's blocks of 16 KiB follow
      // them closer than chunks of 21,845 bytes (9-14 % larger), so only the round trip is
      // asked of these.
      {"Fibonacci counts, 24 values", fibonacci_counts(24), false, false},
      {"Fibonacci counts and every value",
       concatenated({fibonacci_counts(22), every_value_in_turn(256)}), false, false},
      {"noise, 3 bytes", noise(3, 2), true, false},
      {"noise, 1000 bytes", noise(1000, 3), true, false},
      {"noise, then small values", concatenated({noise(kBlock, 17), mostly_small(kBlock + 5, 18)}),
       false, true},
      {"small values, then noise", concatenated({mostly_small(kBlock, 19), noise(kBlock + 5, 20)}),
       false, true},
      {"small values, noise, small values",
       concatenated({mostly_small(kBlock, 21), noise(kBlock, 22), mostly_small(999, 23)}), false,
       true},
  };
  std::set<int32_t> boundary_sizes;
  for (int32_t limit : {kChunk, kStored, kBlock, 2 * kBlock}) {
    boundary_sizes.insert({limit - 1, limit, limit + 1});
  }
  uint32_t seed = 100;
  for (int32_t n : boundary_sizes) {
    cases.push_back({"noise, " + std::to_string(n), noise(n, ++seed), true, true});
    cases.push_back({"small values, " + std::to_string(n), mostly_small(n, ++seed), false, true});
  }
  for (const Case& test_case : cases) {
    SCOPED_TRACE(test_case.name);
    const Encoded encoded = encode_row(*codec_, test_case.bytes);
    ASSERT_EQ(encoded.filtered_frame, test_case.bytes);
    expect_valid_payload(encoded);
    const int32_t stored = all_stored_payload_bytes(static_cast<int32_t>(test_case.bytes.size()));
    if (test_case.stored) {
      EXPECT_EQ(encoded.result, stored);
      EXPECT_EQ(first_block_type(encoded.payload), 0u);
    } else {
      EXPECT_LT(encoded.result, stored);
    }
    if (test_case.near_zlib) {
      const size_t zlib_payload = zlib_huffman_only_length(test_case.bytes) + 4;
      EXPECT_LE(encoded.payload.size() * 100, zlib_payload * 101) << zlib_payload;
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

// Frames of 1 to 64 bytes, of every kind, as one row and as two: their streams are longer
// than twice their size, and the block holds them.
TEST_F(DeflateCodecTest, TinyFramesFitTheirBlock) {
  for (int32_t n = 1; n <= 64; ++n) {
    for (FrameKind kind : {FrameKind::kNoise, FrameKind::kFlat, FrameKind::kGradient}) {
      for (const FrameShape& shape : {FrameShape{n, 1, n}, FrameShape{(n + 1) / 2, 2, n / 2}}) {
        if (shape.frame_bytes() == 0) continue;
        SCOPED_TRACE(shape.describe() + ", " + frame_kind_name(kind));
        const Bytes frame = make_frame(kind, shape, static_cast<uint32_t>(n));
        const Encoded encoded = encode_copy(*codec_, frame, shape);
        expect_valid_payload(encoded);
        ASSERT_EQ(decode_guarded(*codec_, encoded.payload, shape).frame, frame);
      }
    }
  }
}

// The block covers the worst case, every chunk of 21,845 bytes a block of its own and
// stored, and is refused where that passes a 32-bit length.
TEST_F(DeflateCodecTest, OutputBlockSizeIsRefusedBeyondA32BitLength) {
  const auto worst_case = [](int64_t n) {
    const int64_t chunks = (n + kLiteralChunkBytes - 1) / kLiteralChunkBytes;
    return 2 + 5 * chunks + n + 4 + 4;
  };
  EXPECT_EQ(DeflateCodec::output_block_size(1), worst_case(1));
  EXPECT_EQ(DeflateCodec::output_block_size(21846), worst_case(21846));
  EXPECT_EQ(DeflateCodec::output_block_size(2000000000), worst_case(2000000000));
  EXPECT_EQ(DeflateCodec::output_block_size(INT32_MAX - 65535), 0);
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
