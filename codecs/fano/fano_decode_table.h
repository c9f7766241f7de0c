// FanoDecodeTable: finds the code at the front of the bit stream with one look-up of its
// next 12 bits. Codes of up to 12 bits are in the table; longer ones are found by comparing
// the few long codes, shortest first. A prefix that leads to no leaf is "no code", and then
// consumes as many bits as the longest code, as the plain leaf-by-leaf decoder does.
#ifndef QUORVEL_CODECS_FANO_FANO_DECODE_TABLE_H_
#define QUORVEL_CODECS_FANO_FANO_DECODE_TABLE_H_

#include <cstdint>

#include "codecs/fano/fano_tree_reader.h"

namespace quorvel {

constexpr uint32_t kFanoTableBits = 12;

struct FanoMatch {
  int32_t symbol;   // the byte value, kFanoNoCode, or kFanoLongSearch (match_short only)
  uint32_t length;  // bits the match (or the failed search) consumes
};
constexpr int32_t kFanoNoCode = -1;      // a dead end: no byte for this position
constexpr int32_t kFanoLongSearch = -2;  // the first 12 bits do not settle it

class FanoDecodeTable {
 public:
  // REQUIRES: tree passed read_fano_tree.
  explicit FanoDecodeTable(const FanoTree& tree);

  // window: the next bits of the stream, first at bit 63 (fano_peek_bits). Needs only the
  // first 12 bits of window to be the stream's; answers kFanoLongSearch when they begin a
  // longer code (or lead nowhere in a tree that has longer codes).
  FanoMatch match_short(uint64_t window) const {
    const uint16_t entry = entries_[window >> (64 - kFanoTableBits)];
    const uint32_t kind = entry >> kKindShift;
    if (kind == kShortCode) {
      return FanoMatch{entry & 0xFF, (entry >> kLengthShift) & kLengthMask};
    }
    if (kind == kNoCode) return FanoMatch{kFanoNoCode, max_code_length_};
    return FanoMatch{kFanoLongSearch, 0};
  }

  // The codes longer than 12 bits; needs the first 32 bits of window to be the stream's.
  FanoMatch match_long(uint64_t window) const;

  // Any code: needs 32 bits of window.
  FanoMatch match(uint64_t window) const {
    const FanoMatch short_match = match_short(window);
    return short_match.symbol == kFanoLongSearch ? match_long(window) : short_match;
  }

 private:
  // entry = symbol | length << 8 | kind << 14
  static constexpr uint32_t kLengthShift = 8;
  static constexpr uint32_t kLengthMask = 0x3F;
  static constexpr uint32_t kKindShift = 14;
  static constexpr uint32_t kShortCode = 0;
  static constexpr uint32_t kNoCode = 1;
  static constexpr uint32_t kLongCode = 2;  // look among the codes longer than the table

  uint16_t entries_[1u << kFanoTableBits];
  FanoSymbol long_codes_[kFanoSymbolCount];  // by length, shortest first
  uint32_t long_count_ = 0;
  uint32_t max_code_length_;
};

}  // namespace quorvel

#endif  // QUORVEL_CODECS_FANO_FANO_DECODE_TABLE_H_
