// The tree reader on hand-made trees, each written field by field with the test's own bit
// writer: what it accepts, and every way a tree can be outside the format.
#include "codecs/fano/fano_tree_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/fano/bit_string.h"
#include "tests/support/guarded_buffer.h"

namespace quorvel {
namespace {

struct TreeCase {
  const char* name;
  std::string bits;
  FanoTreeResult expected;
};

FanoTreeResult read(const std::string& bits, FanoTree* tree) {
  GuardedBuffer payload(bytes_from_bits(bits));
  const uint32_t length = static_cast<uint32_t>(payload.size());
  BitCursor cursor = open_bit_reader(payload.data(), length);
  return read_fano_tree(&cursor, length, tree);
}

// `depth` inner nodes whose left slot is absent and right slot present: the path 1...1.
std::string right_chain(int depth) {
  std::string bits;
  for (int i = 0; i < depth; ++i) bits += "0 0 1 ";  // inner node, left absent, right present
  return bits;
}

// A complete tree of the given depth: inner nodes with both slots present, leaves below.
std::string full_tree(int depth, int* leaves) {
  if (depth == 0) return leaf(static_cast<uint8_t>((*leaves)++));
  std::string bits = "0 1 ";  // inner node, left slot present
  bits += full_tree(depth - 1, leaves);
  bits += "1 ";  // right slot present
  return bits + full_tree(depth - 1, leaves);
}

std::string tree_of_leaves(int depth) {
  int leaves = 0;
  return full_tree(depth, &leaves);
}

TEST(FanoTreeReaderTest, AcceptsTreesOfTheGrammarWithinTheLimits) {
  const std::vector<TreeCase> cases = {
      {"single leaf at the root", leaf(0x41), FanoTreeResult::kOk},
      {"a b c tree", "0 1 0 1" + leaf('a') + "1" + leaf('b') + "1 0 1" + leaf('c') + "0",
       FanoTreeResult::kOk},
      {"leaf at depth 32", right_chain(32) + leaf(7), FanoTreeResult::kOk},
      {"256 leaves at depth 8", tree_of_leaves(8), FanoTreeResult::kOk},
      {"absent left slot under the root", "0 0 1" + leaf(9), FanoTreeResult::kOk},
  };
  for (const TreeCase& c : cases) {
    FanoTree tree;
    EXPECT_EQ(read(c.bits, &tree), c.expected) << c.name;
    EXPECT_EQ(tree.tree_bits, bit_count(c.bits)) << c.name;
  }
}

TEST(FanoTreeReaderTest, RejectsTreesOutsideTheFormat) {
  const std::vector<TreeCase> cases = {
      {"no leaf: inner node with both slots absent", "0 0 0", FanoTreeResult::kNoLeaf},
      {"no leaf anywhere in a deeper tree", "0 1 0 0 0 1 0 0 0", FanoTreeResult::kNoLeaf},
      {"leaf deeper than 32", right_chain(33) + leaf(7), FanoTreeResult::kTooDeep},
      {"inner node at depth 33 without leaves", right_chain(33) + "0 0 0",
       FanoTreeResult::kTooDeep},
      {"512 leaves: the 257th is one too many", tree_of_leaves(9), FanoTreeResult::kTooManyLeaves},
      {"empty payload", "", FanoTreeResult::kTruncated},
      {"leaf value cut short", "1 0110", FanoTreeResult::kTruncated},
  };
  for (const TreeCase& c : cases) {
    FanoTree tree;
    EXPECT_EQ(read(c.bits, &tree), c.expected) << c.name;
  }
}

TEST(FanoTreeReaderTest, DeepLeftNestingIsRejectedAtDepth33) {
  // "0 1" opens an inner node and enters its left slot: 33 of them put the next node at
  // depth 33, however the stream goes on. The recursion stops there.
  std::string bits;
  for (int i = 0; i < 33; ++i) bits += "0 1 ";
  bits += leaf(1);
  FanoTree tree;
  EXPECT_EQ(read(bits, &tree), FanoTreeResult::kTooDeep);
  // 32 of them still hold a leaf; the slots that close the nodes are all absent.
  bits.clear();
  for (int i = 0; i < 32; ++i) bits += "0 1 ";
  bits += leaf(1) + std::string(32, '0');
  EXPECT_EQ(read(bits, &tree), FanoTreeResult::kOk);
  EXPECT_EQ(tree.max_code_length, 32u);
  EXPECT_EQ(tree.leaves[0].code, 0u);
}

TEST(FanoTreeReaderTest, EveryCutOfAValidTreeIsTruncated) {
  // The a b c tree is 36 bits; any payload that ends inside it (whole bytes 0 to 4) fails.
  const std::string tree_bits = "0 1 0 1" + leaf('a') + "1" + leaf('b') + "1 0 1" + leaf('c') + "0";
  const std::vector<uint8_t> whole = bytes_from_bits(tree_bits);
  for (size_t cut = 0; cut < 4; ++cut) {
    GuardedBuffer payload(whole.data(), cut);
    BitCursor cursor = open_bit_reader(payload.data(), static_cast<uint32_t>(cut));
    FanoTree tree;
    EXPECT_EQ(read_fano_tree(&cursor, static_cast<uint32_t>(cut), &tree),
              FanoTreeResult::kTruncated)
        << cut;
  }
}

TEST(FanoTreeReaderTest, LeavesComeInStreamOrderWithTheirPaths) {
  const std::string bits = "0 1 0 1" + leaf('a') + "1" + leaf('b') + "1 0 1" + leaf('c') + "0";
  FanoTree tree;
  ASSERT_EQ(read(bits, &tree), FanoTreeResult::kOk);
  ASSERT_EQ(tree.leaf_count, 3u);
  const uint32_t expected[3][3] = {{'a', 0b00, 2}, {'b', 0b01, 2}, {'c', 0b10, 2}};
  for (uint32_t i = 0; i < 3; ++i) {
    EXPECT_EQ(tree.leaves[i].symbol, expected[i][0]) << i;
    EXPECT_EQ(tree.leaves[i].code, expected[i][1]) << i;
    EXPECT_EQ(tree.leaves[i].code_length, expected[i][2]) << i;
  }
  EXPECT_EQ(tree.max_code_length, 2u);
}

}  // namespace
}  // namespace quorvel
