#include "codecs/fano_expand.h"

#include "codecs/bit_cursor.h"
#include "codecs/fano_bit_reader.h"
#include "codecs/fano_decode_table.h"
#include "codecs/fano_sort.h"
#include "util/input_check.h"

namespace quorvel {
namespace {

FanoExpandResult rejected(FanoTreeResult why) {
  return FanoExpandResult{FanoExpandStatus::kTreeRejected, why, 0};
}

// Shortest code first, equal lengths in tree order.
void order_by_code_length(FanoSymbol* leaves, uint32_t count) {
  stable_sort_fano_symbols(leaves, count, [](const FanoSymbol& a, const FanoSymbol& b) {
    return a.code_length < b.code_length;
  });
}

// One position of the plain decoder: bits are read only as far as the leaf at hand needs.
// Returns the matching leaf, or null once every leaf has been tried.
const FanoSymbol* match_by_leaves(BitCursor* in, const FanoTree& tree) {
  uint64_t in_hand = 0;  // 64-bit: a 32-bit code may be read in one go
  uint32_t bits_in_hand = 0;
  for (uint32_t i = 0; i < tree.leaf_count; ++i) {
    const FanoSymbol& leaf = tree.leaves[i];
    if (leaf.code_length > bits_in_hand) {
      const uint32_t more = leaf.code_length - bits_in_hand;
      in_hand = (in_hand << more) | get_bits(in, more);
      bits_in_hand = leaf.code_length;
    }
    if (in_hand == leaf.code) return &leaf;
  }
  return nullptr;
}

}  // namespace

FanoExpandResult fano_expand_reference(const uint8_t* payload, uint8_t* destination,
                                       uint32_t payload_len, uint32_t n) {
  BitCursor in = open_bit_reader(payload, payload_len);
  FanoTree tree;
  const FanoTreeResult tree_result = read_fano_tree(&in, payload_len, &tree);
  if (tree_result != FanoTreeResult::kOk) return rejected(tree_result);
  order_by_code_length(tree.leaves, tree.leaf_count);

  uint32_t written = 0;
  for (uint32_t position = 0; position < n; ++position) {
    const FanoSymbol* match = match_by_leaves(&in, tree);
    if (!QUORVEL_INPUT_OK(in.overrun_bits == 0)) {
      return FanoExpandResult{FanoExpandStatus::kPayloadExhausted, tree_result, written};
    }
    if (match != nullptr) destination[written++] = static_cast<uint8_t>(match->symbol);
  }
  return FanoExpandResult{FanoExpandStatus::kComplete, tree_result, written};
}

FanoExpandResult fano_expand(const uint8_t* payload, uint8_t* destination, uint32_t payload_len,
                             uint32_t n) {
  BitCursor in = open_bit_reader(payload, payload_len);
  FanoTree tree;
  const FanoTreeResult tree_result = read_fano_tree(&in, payload_len, &tree);
  if (tree_result != FanoTreeResult::kOk) return rejected(tree_result);
  const FanoDecodeTable table(tree);

  const uint64_t end_bit = static_cast<uint64_t>(payload_len) * 8u;
  uint64_t bit_pos = tree.tree_bits;
  // The window holds the stream from bit_pos on; its first `valid` bits are the stream's
  // (zeros past the payload's end count as such). Codes are taken off its top, and it is
  // reloaded only when a look-up could need more bits than it has, so most codes cost a
  // table look-up and a shift.
  uint64_t window = 0;
  uint32_t valid = 0;
  uint32_t written = 0;
  for (uint32_t position = 0; position < n; ++position) {
    if (valid < kFanoTableBits) {
      window = fano_peek_bits(payload, payload_len, bit_pos);
      valid = 64 - static_cast<uint32_t>(bit_pos & 7u);
    }
    FanoMatch match = table.match_short(window);
    if (match.symbol == kFanoLongSearch) {
      if (valid < kFanoMaxCodeLength) {
        window = fano_peek_bits(payload, payload_len, bit_pos);
        valid = 64 - static_cast<uint32_t>(bit_pos & 7u);
      }
      match = table.match_long(window);
    }
    bit_pos += match.length;
    if (!QUORVEL_INPUT_OK(bit_pos <= end_bit)) {
      return FanoExpandResult{FanoExpandStatus::kPayloadExhausted, tree_result, written};
    }
    window <<= match.length;
    valid -= match.length;
    if (match.symbol >= 0) destination[written++] = static_cast<uint8_t>(match.symbol);
  }
  return FanoExpandResult{FanoExpandStatus::kComplete, tree_result, written};
}

}  // namespace quorvel
