#include "codecs/fano/fano_decode_table.h"

#include "codecs/fano/fano_sort.h"

namespace quorvel {

FanoDecodeTable::FanoDecodeTable(const FanoTree& tree) : max_code_length_(tree.max_code_length) {
  // Prefixes that no short code claims: either a long code starts there, or nothing does.
  // With no long code at all, every such prefix is a dead end.
  const uint16_t unclaimed = static_cast<uint16_t>(
      (max_code_length_ > kFanoTableBits ? kLongCode : kNoCode) << kKindShift);
  for (uint16_t& entry : entries_) entry = unclaimed;

  for (uint32_t i = 0; i < tree.leaf_count; ++i) {
    const FanoSymbol& leaf = tree.leaves[i];
    if (leaf.code_length > kFanoTableBits) continue;
    // A code of length L owns the 2^(12 - L) table slots it is a prefix of.
    const uint32_t free_bits = kFanoTableBits - leaf.code_length;
    const uint32_t first = leaf.code << free_bits;
    const uint16_t entry = static_cast<uint16_t>(leaf.symbol | leaf.code_length << kLengthShift |
                                                 kShortCode << kKindShift);
    for (uint32_t slot = first; slot < first + (1u << free_bits); ++slot) entries_[slot] = entry;
  }

  // Long codes by length, keeping tree order among equal lengths.
  for (uint32_t i = 0; i < tree.leaf_count; ++i) {
    if (tree.leaves[i].code_length > kFanoTableBits) long_codes_[long_count_++] = tree.leaves[i];
  }
  stable_sort_fano_symbols(long_codes_, long_count_, [](const FanoSymbol& a, const FanoSymbol& b) {
    return a.code_length < b.code_length;
  });
}

FanoMatch FanoDecodeTable::match_long(uint64_t window) const {
  // Codes are prefix-free, so at most one long code matches and the order only decides how
  // soon it is found.
  for (uint32_t i = 0; i < long_count_; ++i) {
    const FanoSymbol& leaf = long_codes_[i];
    if ((window >> (64 - leaf.code_length)) == leaf.code) {
      return FanoMatch{static_cast<int32_t>(leaf.symbol), leaf.code_length};
    }
  }
  return FanoMatch{kFanoNoCode, max_code_length_};
}

}  // namespace quorvel
