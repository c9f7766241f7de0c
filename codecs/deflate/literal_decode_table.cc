#include "codecs/deflate/literal_decode_table.h"

#include <algorithm>

#include "codecs/deflate/deflate_huffman_code.h"
#include "util/input_check.h"

namespace quorvel {
namespace {

constexpr uint32_t kTableMask = (1u << kLiteralTableBits) - 1u;
constexpr uint32_t kLiteralValues = 256;
constexpr uint64_t kSixLiteralsMask = (uint64_t{1} << (8 * kMostLiteralsPerEntry)) - 1u;
constexpr uint64_t kFiveLiteralsMask = (uint64_t{1} << (8 * (kMostLiteralsPerEntry - 1))) - 1u;

// True when the lengths fill the code space exactly: no code is left out, none overlaps.
bool is_complete(const uint32_t per_length[kMaxCodeLength + 1]) {
  uint32_t space = 0;
  for (uint32_t length = 1; length <= kMaxCodeLength; ++length) {
    space += per_length[length] << (kMaxCodeLength - length);
  }
  return space == 1u << kMaxCodeLength;
}

// The entry for literal `symbol` (a code of `length` bits) followed by what `rest` holds;
// when rest is already full, its last literal makes room.
uint64_t prepend(uint32_t symbol, uint32_t length, uint64_t rest, const uint8_t* lengths) {
  uint32_t count = LiteralDecodeTable::literal_count(rest);
  uint32_t bits = LiteralDecodeTable::bit_count(rest);
  uint64_t values = LiteralDecodeTable::literals(rest) & kSixLiteralsMask;
  if (count == kMostLiteralsPerEntry) {
    bits -= lengths[values >> (8 * (kMostLiteralsPerEntry - 1))];
    values &= kFiveLiteralsMask;
    --count;
  }
  return (bits + length) | uint64_t{symbol} << 8 | values << 16 | uint64_t{count + 1} << 56;
}

}  // namespace

bool LiteralDecodeTable::build(const uint8_t* lengths, uint32_t symbol_count) {
  uint32_t per_length[kMaxCodeLength + 1] = {};
  for (uint32_t s = 0; s < symbol_count; ++s) ++per_length[lengths[s]];
  per_length[0] = 0;
  if (!QUORVEL_INPUT_OK(is_complete(per_length) && lengths[kEndOfBlock] != 0)) return false;

  // The symbols in canonical order: by code length, then by value.
  uint32_t next_slot[kMaxCodeLength + 2] = {};
  for (uint32_t length = 1; length <= kMaxCodeLength; ++length) {
    next_slot[length + 1] = next_slot[length] + per_length[length];
  }
  const uint32_t coded = next_slot[kMaxCodeLength + 1];
  uint16_t sorted[kFixedLiteralLengthCodes];
  for (uint32_t s = 0; s < symbol_count; ++s) {
    if (lengths[s] != 0) sorted[next_slot[lengths[s]]++] = static_cast<uint16_t>(s);
  }
  assign_reversed_codes(lengths, symbol_count, reversed_codes_);

  uint32_t short_literals = 0;  // the literals of at most kLiteralTableBits, first in sorted
  while (short_literals < coded && lengths[sorted[short_literals]] <= kLiteralTableBits) {
    ++short_literals;
  }
  fill_levels(lengths, sorted, short_literals);
  add_first_codes_that_end_the_run(lengths, sorted, coded);
  return true;
}

// Level b holds the entry of every b-bit index: its first code when that is a literal of at
// most b bits, followed by the entry of level b - length for the bits after it; nothing
// otherwise. Each level is made from shorter ones, so each entry costs one step.
void LiteralDecodeTable::fill_levels(const uint8_t* lengths, const uint16_t* sorted,
                                     uint32_t short_codes) {
  shorter_[1] = 0;  // level 0: no bits, no literal
  for (uint32_t b = 1; b <= kLiteralTableBits; ++b) {
    uint64_t* const level = b < kLiteralTableBits ? shorter_ + (1u << b) : entries_;
    std::fill(level, level + (1u << b), uint64_t{0});
    for (uint32_t i = 0; i < short_codes; ++i) {
      const uint32_t symbol = sorted[i];
      const uint32_t length = lengths[symbol];
      if (length > b) break;
      if (symbol >= kLiteralValues) continue;
      const uint64_t* const rest = shorter_ + (1u << (b - length));
      const uint32_t first = reversed_codes_[symbol];
      for (uint32_t k = 0; k < (1u << (b - length)); ++k) {
        level[first | k << length] = prepend(symbol, length, rest[k], lengths);
      }
    }
  }
}

// The entries whose first code is no literal the table holds: end of block and the length
// symbols of up to kLiteralTableBits bits carry symbol and length; a code longer than that carries
// where its group's second table starts and how many bits index it.
void LiteralDecodeTable::add_first_codes_that_end_the_run(const uint8_t* lengths,
                                                          const uint16_t* sorted, uint32_t coded) {
  uint32_t i = 0;
  for (; i < coded && lengths[sorted[i]] <= kLiteralTableBits; ++i) {
    const uint32_t symbol = sorted[i];
    if (symbol < kLiteralValues) continue;
    const uint32_t length = lengths[symbol];
    for (uint32_t k = 0; k < (1u << (kLiteralTableBits - length)); ++k) {
      entries_[reversed_codes_[symbol] | k << length] = length | uint64_t{symbol} << 8;
    }
  }
  // In canonical order the codes that share their first kLiteralTableBits bits come one after
  // another, the longest last.
  uint32_t used = 0;
  while (i < coded) {
    const uint32_t prefix = reversed_codes_[sorted[i]] & kTableMask;
    uint32_t end = i + 1;
    while (end < coded && (reversed_codes_[sorted[end]] & kTableMask) == prefix) ++end;
    const uint32_t index_bits = lengths[sorted[end - 1]] - kLiteralTableBits;
    for (; i < end; ++i) {
      const uint32_t symbol = sorted[i];
      const uint32_t extra = lengths[symbol] - kLiteralTableBits;
      const uint32_t tail = reversed_codes_[symbol] >> kLiteralTableBits;
      for (uint32_t k = 0; k < (1u << (index_bits - extra)); ++k) {
        long_codes_[used + (tail | k << extra)] = symbol | uint32_t{lengths[symbol]} << 16;
      }
    }
    entries_[prefix] = uint64_t{used} << 8 | uint64_t{index_bits} << 24;
    used += 1u << index_bits;
  }
}

}  // namespace quorvel
