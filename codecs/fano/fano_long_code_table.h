// FanoLongCodeTable: the codes of 13 to 20 bits, found with two look-ups instead of a search:
// the first 12 bits of the stream pick the second-level table of that prefix (the few 12-bit
// prefixes that long codes begin with each get one), the next 8 bits an entry in it. Codes of
// more than 20 bits, dead ends under those prefixes, and prefixes past the first 16 are not in
// it; for those it answers kFanoLongSearch, and the exact FanoDecodeTable decides.
#ifndef QUORVEL_CODECS_FANO_FANO_LONG_CODE_TABLE_H_
#define QUORVEL_CODECS_FANO_FANO_LONG_CODE_TABLE_H_

#include <cstdint>

#include "codecs/fano/fano_decode_table.h"
#include "codecs/fano/fano_tree_reader.h"

namespace quorvel {

// The bits a look-up in FanoLongCodeTable reads.
constexpr uint32_t kFanoLongCodeTableBits = kFanoTableBits + 8;

class FanoLongCodeTable {
 public:
  // REQUIRES: tree passed read_fano_tree.
  explicit FanoLongCodeTable(const FanoTree& tree);

  // window: the next bits of the stream, first at bit 63; needs its first
  // kFanoLongCodeTableBits bits to be the stream's. The long code they begin with, or
  // {kFanoLongSearch, 0} when this table does not know it.
  FanoMatch match(uint64_t window) const {
    const uint32_t slot = prefix_slot_[window >> (64 - kFanoTableBits)];
    if (slot == 0) return FanoMatch{kFanoLongSearch, 0};
    const uint16_t entry =
        sub_tables_[slot - 1][(window >> (64 - kFanoTableBits - kSubBits)) & kSubMask];
    if (entry == 0) return FanoMatch{kFanoLongSearch, 0};
    return FanoMatch{entry & 0xFF, static_cast<uint32_t>(entry >> 8)};
  }

 private:
  static constexpr uint32_t kSubBits = kFanoLongCodeTableBits - kFanoTableBits;
  static constexpr uint32_t kSubMask = (1u << kSubBits) - 1;
  static constexpr uint32_t kMostPrefixes = 16;

  // 0 for a prefix without a second-level table, else its number plus one.
  uint8_t prefix_slot_[1u << kFanoTableBits] = {};
  // entry = symbol | length << 8; a code here is at least 13 bits long, so 0 means unknown.
  uint16_t sub_tables_[kMostPrefixes][1u << kSubBits];
  uint32_t prefix_count_ = 0;
};

}  // namespace quorvel

#endif  // QUORVEL_CODECS_FANO_FANO_LONG_CODE_TABLE_H_
