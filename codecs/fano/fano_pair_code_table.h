// FanoPairCodeTable: the codes of pairs of byte values under one frame's code book, so that
// the type-2 writer codes two source bytes with one look-up. A pair's code is the first
// value's code followed by the second's, right-aligned in 32 bits; a pair whose codes
// together pass 32 bits gets kUnpairedLength instead and is written code by code.
//
// The table has room for all 65,536 pairs (512 KiB); a codec keeps one. Only the pairs of
// values that the frame holds are made, and none when the code book gives those values the
// codes the table already holds them for: at 720x480 the whole table would be three
// quarters of the frame's size, and consecutive frames often share a code.
#ifndef QUORVEL_CODECS_FANO_FANO_PAIR_CODE_TABLE_H_
#define QUORVEL_CODECS_FANO_FANO_PAIR_CODE_TABLE_H_

#include <cstdint>

#include "codecs/fano/fano_code_builder.h"

namespace quorvel {

struct FanoPairCode {
  uint32_t code;    // right-aligned; 0 for an unpaired entry
  uint32_t length;  // bits, or kUnpairedLength
};

class FanoPairCodeTable {
 public:
  // Longer than any two paired codes together, so that a length sum that takes in an
  // unpaired entry is always too long for the writer's room.
  static constexpr uint32_t kUnpairedLength = 64;
  static constexpr uint32_t kMaxPairLength = 32;

  // Makes the entry of every pair of values with a nonzero count in the code book, unless
  // the table holds them for the same codes already. Other entries are left as they are.
  void build(const FanoCodeBook& code);

  // The entry of `first` followed by `second`. The index puts the first byte low, as a
  // little-endian 16-bit load of the two bytes gives it.
  // REQUIRES: both values have a nonzero count in the code book of the last build().
  const FanoPairCode& of(uint8_t first, uint8_t second) const {
    return at(static_cast<uint32_t>(first) | static_cast<uint32_t>(second) << 8);
  }
  // The same by that index, first | second << 8. REQUIRES: index < 65,536.
  const FanoPairCode& at(uint32_t index) const { return entries_[index]; }

 private:
  // True when every value the code book counts has its entries here, for its code.
  bool holds(const FanoCodeBook& code) const;

  // For each value whose entries are made: its code and length; kNotMade otherwise.
  static constexpr uint32_t kNotMade = 0xFFFFFFFFu;
  uint32_t made_code_[kFanoSymbolCount];
  uint32_t made_length_[kFanoSymbolCount];
  bool any_made_ = false;
  FanoPairCode entries_[kFanoSymbolCount * kFanoSymbolCount];
};

}  // namespace quorvel

#endif  // QUORVEL_CODECS_FANO_FANO_PAIR_CODE_TABLE_H_
