#include "codecs/fano/fano_tree_reader.h"

#include "util/input_check.h"

namespace quorvel {
namespace {

FanoTreeResult read_leaf(BitCursor* in, uint32_t code, uint32_t depth, FanoTree* tree) {
  const uint32_t value = get_bits(in, kFanoValueBits);
  if (!QUORVEL_INPUT_OK(in->overrun_bits == 0)) return FanoTreeResult::kTruncated;
  if (!QUORVEL_INPUT_OK(tree->leaf_count < kFanoSymbolCount)) {
    return FanoTreeResult::kTooManyLeaves;
  }
  tree->leaves[tree->leaf_count++] = FanoSymbol{value, 0, code, depth};
  if (depth > tree->max_code_length) tree->max_code_length = depth;
  return FanoTreeResult::kOk;
}

// Reads the node whose first bit is `first_bit`, at the given code and depth.
FanoTreeResult read_tree(BitCursor* in, uint32_t first_bit, uint32_t code, uint32_t depth,
                         FanoTree* tree) {
  for (;;) {
    // Bits past the end read as zeros, which would parse as inner nodes and absent slots:
    // stop at the first one instead.
    if (!QUORVEL_INPUT_OK(in->overrun_bits == 0)) return FanoTreeResult::kTruncated;
    if (!QUORVEL_INPUT_OK(depth <= kFanoMaxCodeLength)) return FanoTreeResult::kTooDeep;
    if (first_bit == 1) return read_leaf(in, code, depth, tree);

    if (get_bits(in, 1) == 1) {  // left slot present
      const FanoTreeResult left = read_tree(in, get_bits(in, 1), code << 1, depth + 1, tree);
      if (left != FanoTreeResult::kOk) return left;
    }
    if (get_bits(in, 1) == 0) {  // right slot absent
      return QUORVEL_INPUT_OK(in->overrun_bits == 0) ? FanoTreeResult::kOk
                                                     : FanoTreeResult::kTruncated;
    }
    first_bit = get_bits(in, 1);
    code = (code << 1) | 1u;
    ++depth;
  }
}

}  // namespace

FanoTreeResult read_fano_tree(BitCursor* cursor, uint32_t payload_len, FanoTree* tree) {
  tree->leaf_count = 0;
  tree->max_code_length = 0;
  const FanoTreeResult result = read_tree(cursor, get_bits(cursor, 1), 0, 0, tree);
  if (result != FanoTreeResult::kOk) return result;
  if (!QUORVEL_INPUT_OK(tree->leaf_count > 0)) return FanoTreeResult::kNoLeaf;
  tree->tree_bits = bits_entered(*cursor, payload_len);
  return FanoTreeResult::kOk;
}

}  // namespace quorvel
