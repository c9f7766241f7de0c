// FanoPairCodeTable: the codes of all 65,536 pairs of byte values under one frame's code book,
// so that the type-2 writer codes two source bytes with one look-up. A pair's code is the
// first value's code followed by the second's, right-aligned in 32 bits; a pair whose codes
// together pass 32 bits gets kUnpairedLength instead and is written code by code.
//
// The table is 512 KiB: a codec keeps one and rebuilds it for every frame.
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

  // Fills every entry from the code book.
  void build(const FanoCodeBook& code);

  // The entry of `first` followed by `second`. The index puts the first byte low, as a
  // little-endian 16-bit load of the two bytes gives it.
  const FanoPairCode& of(uint8_t first, uint8_t second) const {
    return entries_[static_cast<uint32_t>(first) | static_cast<uint32_t>(second) << 8];
  }

 private:
  FanoPairCode entries_[kFanoSymbolCount * kFanoSymbolCount];
};

}  // namespace quorvel

#endif  // QUORVEL_CODECS_FANO_FANO_PAIR_CODE_TABLE_H_
