// The stream writers: the worked examples byte for byte, and the fast writer against the
// bit-at-a-time reference over many byte sequences.
#include "codecs/fano/fano_compress.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "codecs/byte_histogram.h"
#include "codecs/fano/fano_code_builder.h"
#include "tests/fano/fano_test_frames.h"
#include "tests/support/guarded_buffer.h"

namespace quorvel {
namespace {

using Bytes = std::vector<uint8_t>;
using Compressor = uint64_t (*)(const FanoCodeBook&, const uint8_t*, uint32_t, uint8_t*);

// The fast writer with a pair table of its own.
uint64_t fano_compress_with_new_table(const FanoCodeBook& code, const uint8_t* source, uint32_t n,
                                      uint8_t* destination) {
  const auto pairs = std::make_unique<FanoPairCodeTable>();
  return fano_compress(code, source, n, destination, pairs.get());
}

// Compresses into a block of exactly the planned length that ends at an unreadable page.
Bytes compress_with(Compressor compressor, const Bytes& source) {
  uint32_t counts[kFanoSymbolCount];
  const uint32_t n = static_cast<uint32_t>(source.size());
  count_bytes(source.data(), n, counts);
  FanoCodeBook code;
  EXPECT_EQ(build_fano_code(counts, &code), FanoBuildResult::kOk);
  const uint64_t planned = fano_bytes_for_bits(code.stream_bits);
  GuardedBuffer block(static_cast<size_t>(planned));
  const uint64_t written = compressor(code, source.data(), n, block.data());
  EXPECT_EQ(written, planned);
  return block.bytes();
}

Bytes bytes_of(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

struct GoldenCase {
  const char* name;
  Bytes source;
  Bytes payload;
};

std::vector<GoldenCase> worked_examples() {
  Bytes repeated_payload(127, 0x00);
  repeated_payload[0] = 0x70;  // 0 (root), 1 (left slot), 1 + 0x80 (leaf)... then zeros
  repeated_payload[1] = 0x00;
  return {
      {"a b c", bytes_of("abc"), {0x5B, 0x0E, 0xC5, 0x6C, 0x61, 0x80}},
      {"b a", bytes_of("ba"), {0x5B, 0x0E, 0xC4, 0x40}},
      {"0 1 2 3", {0, 1, 2, 3}, {0x56, 0x01, 0x80, 0xE0, 0x56, 0x06, 0x05, 0x80}},
      {"0x80 repeated 1,000 times", Bytes(1000, 0x80), repeated_payload},
  };
}

TEST(FanoCompressTest, WorkedExamplesComeOutByteForByte) {
  for (const GoldenCase& c : worked_examples()) {
    EXPECT_EQ(compress_with(fano_compress_with_new_table, c.source), c.payload)
        << c.name << " (fast)";
    EXPECT_EQ(compress_with(fano_compress_reference, c.source), c.payload)
        << c.name << " (reference)";
  }
}

TEST(FanoCompressTest, OneValueRepeatedTakesTwelveTreeBitsAndOneBitPerByte) {
  for (size_t n : {1u, 4u, 5u, 1000u, 1001u}) {
    const Bytes payload = compress_with(fano_compress_with_new_table, Bytes(n, 0x33));
    EXPECT_EQ(payload.size(), (12 + n + 7) / 8) << n;
  }
}

TEST(FanoCompressTest, FastWriterMatchesTheReferenceBitForBit) {
  const ByteMix mixes[] = {ByteMix::kNoise, ByteMix::kSkewed, ByteMix::kFewValues,
                           ByteMix::kGeometric};
  const size_t sizes[] = {1, 2, 3, 7, 8, 9, 31, 100, 383, 384, 385, 4096, 65537};
  uint32_t seed = 1;
  for (ByteMix mix : mixes) {
    for (size_t n : sizes) {
      const Bytes source = make_bytes(mix, n, seed++);
      ASSERT_EQ(compress_with(fano_compress_with_new_table, source),
                compress_with(fano_compress_reference, source))
          << "mix " << static_cast<int>(mix) << " n " << n;
    }
  }
}

TEST(FanoCompressTest, NoiseNeedsMoreThanEightBitsAByteAndGetsThem) {
  // The stream is longer than the frame plus the largest tree: the block is sized from the
  // count table, not from n.
  const Bytes source = make_bytes(ByteMix::kNoise, 1 << 16, 99);
  const Bytes payload = compress_with(fano_compress_with_new_table, source);
  EXPECT_GT(payload.size(), source.size() + 384);
}

}  // namespace
}  // namespace quorvel
