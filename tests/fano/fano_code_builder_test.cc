// The code builder on count tables: the worked splits, the largest tree, and the 32-bit
// limit on code lengths (which only count tables far beyond any frame can reach).
#include "codecs/fano/fano_code_builder.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>

#include "codecs/byte_histogram.h"
#include "codecs/fano/bit_cursor.h"
#include "codecs/fano/fano_tree_reader.h"

namespace quorvel {
namespace {

struct Counts {
  uint32_t values[kFanoSymbolCount] = {};
};

Counts counts_of(const std::string& bytes) {
  Counts counts;
  for (unsigned char c : bytes) ++counts.values[c];
  return counts;
}

// value -> code as a string of bits, for the values that got a code.
std::map<uint32_t, std::string> codes_of(const FanoCodeBook& code) {
  std::map<uint32_t, std::string> codes;
  for (const FanoSymbol& s : code.symbols) {
    std::string bits;
    for (uint32_t b = s.code_length; b-- > 0;) bits += ((s.code >> b) & 1u) ? '1' : '0';
    if (s.code_length > 0) codes[s.symbol] = bits;
  }
  return codes;
}

struct WorkedCase {
  const char* name;
  std::string bytes;
  std::map<uint32_t, std::string> codes;
  uint64_t tree_bits;
};

TEST(FanoCodeBuilderTest, WorkedExamplesGiveTheirCodesAndTreeLengths) {
  const std::vector<WorkedCase> cases = {
      {"a b c", "abc", {{'a', "00"}, {'b', "01"}, {'c', "10"}}, 36},
      {"b a: ties keep ascending values", "ba", {{'a', "00"}, {'b', "01"}}, 24},
      {"0 1 2 3: four equal counts split 3 : 1",
       std::string("\x00\x01\x02\x03", 4),
       {{0, "000"}, {1, "001"}, {2, "01"}, {3, "10"}},
       48},
      {"counts 3 2 1: half is not more than half",
       "\x05\x05\x05\x09\x09\xC8",
       {{5, "00"}, {9, "01"}, {200, "10"}},
       36},
      {"one value repeated", std::string(1000, 'x'), {{'x', "0"}}, 12},
  };
  for (const WorkedCase& c : cases) {
    const Counts counts = counts_of(c.bytes);
    FanoCodeBook code;
    ASSERT_EQ(build_fano_code(counts.values, &code), FanoBuildResult::kOk) << c.name;
    EXPECT_EQ(codes_of(code), c.codes) << c.name;
    EXPECT_EQ(code.tree_bits, c.tree_bits) << c.name;
    uint64_t code_bits = 0;
    for (unsigned char byte : c.bytes) code_bits += c.codes.at(byte).size();
    EXPECT_EQ(code.stream_bits, c.tree_bits + code_bits) << c.name;
  }
}

TEST(FanoCodeBuilderTest, AllValuesEquallyOftenGiveTheLargestTree) {
  Counts counts;
  for (uint32_t& count : counts.values) count = 1;
  FanoCodeBook code;
  ASSERT_EQ(build_fano_code(counts.values, &code), FanoBuildResult::kOk);
  EXPECT_EQ(code.tree_bits, kFanoMaxTreeBits);

  std::map<uint32_t, int> values_by_length;
  int left_of_root = 0;
  uint64_t total_bits = 0;
  for (const FanoSymbol& s : code.symbols) {
    ++values_by_length[s.code_length];
    total_bits += s.code_length;
    if (((s.code >> (s.code_length - 1)) & 1u) == 0) ++left_of_root;
  }
  EXPECT_EQ(left_of_root, 129);
  EXPECT_EQ(values_by_length, (std::map<uint32_t, int>{{7, 43}, {8, 127}, {9, 86}}));
  EXPECT_EQ(total_bits, 2091u);
  EXPECT_EQ(code.stream_bits, 3069u + 2091u);
}

TEST(FanoCodeBuilderTest, MissingValuesCostTwelveTreeBitsEach) {
  // 255 of the 256 values: every value that occurs takes 9 bits of leaf and 3 of inner node.
  Counts counts;
  for (uint32_t v = 1; v < kFanoSymbolCount; ++v) counts.values[v] = 7;
  FanoCodeBook code;
  ASSERT_EQ(build_fano_code(counts.values, &code), FanoBuildResult::kOk);
  EXPECT_EQ(code.tree_bits, 255u * 12u);
  EXPECT_EQ(code.symbols[0].code_length, 0u);
}

// Counts 2^(m-1), ..., 2, 1: each split peels off the largest value, so the value of count 1
// ends at depth m.
Counts powers_of_two(uint32_t m) {
  Counts counts;
  for (uint32_t k = 0; k < m; ++k) counts.values[k] = 1u << k;
  return counts;
}

uint32_t deepest_code(const FanoCodeBook& code) {
  uint32_t deepest = 0;
  for (const FanoSymbol& s : code.symbols) deepest = std::max(deepest, s.code_length);
  return deepest;
}

TEST(FanoCodeBuilderTest, CodeOfExactly32BitsIsAccepted) {
  const Counts counts = powers_of_two(32);  // total 2^32 - 1, the most 32 bits hold
  FanoCodeBook code;
  ASSERT_EQ(build_fano_code(counts.values, &code), FanoBuildResult::kOk);
  EXPECT_EQ(deepest_code(code), 32u);
  EXPECT_EQ(code.symbols[0].code_length, 32u);   // count 1
  EXPECT_EQ(code.symbols[0].code, 0xFFFFFFFEu);  // 31 right turns, then left
  EXPECT_EQ(code.symbols[31].code_length, 1u);
}

TEST(FanoCodeBuilderTest, CodeOf33BitsIsRefused) {
  // Two values of 2^31 take the root's left slot; the right slot holds 2^31, ..., 1, a chain
  // of 32 more levels below depth 1. The total, 2^33 - 1, passes 32 bits.
  Counts counts = powers_of_two(32);
  counts.values[40] = 1u << 31;
  counts.values[41] = 1u << 31;
  FanoCodeBook code;
  EXPECT_EQ(build_fano_code(counts.values, &code), FanoBuildResult::kCodeTooLong);
}

TEST(FanoCodeBuilderTest, NothingToCodeWhenEveryCountIsZero) {
  const Counts counts;
  FanoCodeBook code;
  EXPECT_EQ(build_fano_code(counts.values, &code), FanoBuildResult::kNothingToCode);
}

TEST(FanoCodeBuilderTest, CountBytesCountsEveryByteOnce) {
  std::string bytes;
  for (int i = 0; i < 1003; ++i) bytes += static_cast<char>((i * 7) % 13);
  uint32_t counts[kFanoSymbolCount];
  count_bytes(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<uint32_t>(bytes.size()),
              counts);
  const Counts expected = counts_of(bytes);
  for (uint32_t v = 0; v < kFanoSymbolCount; ++v) EXPECT_EQ(counts[v], expected.values[v]) << v;
}

TEST(FanoCodeBuilderTest, WrittenTreeReadsBackToTheSameCodes) {
  std::mt19937 engine(7);
  auto random = [&engine] { return static_cast<uint32_t>(engine()); };
  for (int round = 0; round < 300; ++round) {
    Counts counts;
    const uint32_t present = 1 + random() % kFanoSymbolCount;
    for (uint32_t i = 0; i < present; ++i) {
      // Skewed counts, so that deep codes occur too.
      counts.values[random() % kFanoSymbolCount] = 1u + (random() % 1000) * (random() % 1000);
    }
    FanoCodeBook code;
    ASSERT_EQ(build_fano_code(counts.values, &code), FanoBuildResult::kOk);
    ASSERT_LE(code.tree_bits, kFanoMaxTreeBits);

    BitCursor in = open_bit_reader(code.tree, kFanoMaxTreeBytes);
    FanoTree tree;
    ASSERT_EQ(read_fano_tree(&in, kFanoMaxTreeBytes, &tree), FanoTreeResult::kOk);
    EXPECT_EQ(tree.tree_bits, code.tree_bits);
    uint32_t leaves = 0;
    for (uint32_t i = 0; i < tree.leaf_count; ++i) {
      const FanoSymbol& leaf = tree.leaves[i];
      const FanoSymbol& built = code.symbols[leaf.symbol];
      EXPECT_GT(counts.values[leaf.symbol], 0u);
      EXPECT_EQ(leaf.code, built.code);
      EXPECT_EQ(leaf.code_length, built.code_length);
      ++leaves;
    }
    uint32_t occurring = 0;
    for (uint32_t count : counts.values) occurring += count > 0 ? 1 : 0;
    EXPECT_EQ(leaves, occurring);
  }
}

}  // namespace
}  // namespace quorvel
