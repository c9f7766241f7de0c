#include "codecs/fano/fano_long_code_table.h"

#include <cstring>

namespace quorvel {

FanoLongCodeTable::FanoLongCodeTable(const FanoTree& tree) {
  for (uint32_t i = 0; i < tree.leaf_count; ++i) {
    const FanoSymbol& leaf = tree.leaves[i];
    if (leaf.code_length <= kFanoTableBits || leaf.code_length > kFanoTableBits + kSubBits) {
      continue;
    }
    const uint32_t rest_bits = leaf.code_length - kFanoTableBits;
    const uint32_t prefix = leaf.code >> rest_bits;
    uint32_t slot = prefix_slot_[prefix];
    if (slot == 0) {
      // A prefix past the last table keeps none, for all its codes: the exact table's.
      if (prefix_count_ == kMostPrefixes) continue;
      slot = ++prefix_count_;
      prefix_slot_[prefix] = static_cast<uint8_t>(slot);
      std::memset(sub_tables_[slot - 1], 0, sizeof sub_tables_[slot - 1]);
    }
    // The code's bits after the prefix own the 2^(8 - rest_bits) entries they begin.
    const uint32_t free_bits = kSubBits - rest_bits;
    const uint32_t first = (leaf.code & ((1u << rest_bits) - 1u)) << free_bits;
    const uint16_t entry = static_cast<uint16_t>(leaf.symbol | leaf.code_length << 8);
    for (uint32_t j = first; j < first + (1u << free_bits); ++j) sub_tables_[slot - 1][j] = entry;
  }
}

}  // namespace quorvel
