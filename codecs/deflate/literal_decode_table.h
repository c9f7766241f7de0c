// LiteralDecodeTable: the literal/length code of one deflate block, as the literal inflater
// reads it. One look-up of the next 11 stream bits (first bit lowest: deflate codes go out
// LSB first) gives every whole literal code those bits begin with, up to six, and the bits
// they take together. An entry with no literal tells what the first code is instead: end of
// block or a length symbol, with its length, or a code longer than 11 bits, which a second
// table matches by the bits after the first 11.
#ifndef QUORVEL_CODECS_DEFLATE_LITERAL_DECODE_TABLE_H_
#define QUORVEL_CODECS_DEFLATE_LITERAL_DECODE_TABLE_H_

#include <cstdint>

#include "codecs/deflate/deflate_format.h"

namespace quorvel {

// The table is rebuilt for every block (a 1080p frame has 30 to 70 of our encoder's blocks,
// some 250 of zlib's), so its size weighs against the literals per look-up. On the benchmark
// frames, the stage took 3.3 / 2.9 / 2.7 ms (camera) and 5.6 / 6.0 / 6.4 ms (art) with
// 12, 11 and 10 bits.
constexpr uint32_t kLiteralTableBits = 11;
constexpr uint32_t kMostLiteralsPerEntry = 6;
// A code longer than the table is matched by at most this many bits after the table's.
constexpr uint32_t kLongCodeExtraBits = kMaxCodeLength - kLiteralTableBits;

// A symbol of the literal/length alphabet and the length of its code.
struct LiteralCodeMatch {
  uint32_t symbol;
  uint32_t length;
};

class LiteralDecodeTable {
 public:
  // Entry layout: the low byte is the bits taken, bytes 1 to 6 the literals in stream order,
  // the top byte their number. The bits come first because the next look-up waits for them:
  // the low byte of a register is a shift count as it is.
  static uint32_t bit_count(uint64_t entry) { return static_cast<uint32_t>(entry) & 0xFFu; }
  static uint32_t literal_count(uint64_t entry) { return static_cast<uint32_t>(entry >> 56); }
  // Stored little-endian, the first literal_count bytes of this are the literals.
  static uint64_t literals(uint64_t entry) { return entry >> 8; }

  // Builds the table for the code lengths of symbols 0 to symbol_count - 1. The lengths are
  // checked first: false, and a table that must not be used, unless they form a complete
  // prefix code (the only kind zlib's Huffman-only mode and our encoder write) in which end of
  // block has a code. REQUIRES: symbol_count <= kFixedLiteralLengthCodes, lengths <= 15.
  bool build(const uint8_t* lengths, uint32_t symbol_count);

  // index: the next kLiteralTableBits bits of the stream.
  uint64_t entry(uint32_t index) const { return entries_[index]; }

  // The first code of an entry that holds no literal; bits_after: the kLongCodeExtraBits
  // stream bits after the entry's index. REQUIRES: literal_count(entry) == 0.
  LiteralCodeMatch first_code(uint64_t entry, uint32_t bits_after) const {
    const uint32_t length = bit_count(entry);
    if (length != 0) return LiteralCodeMatch{static_cast<uint32_t>(entry >> 8) & 0xFFFFu, length};
    const uint32_t offset = static_cast<uint32_t>(entry >> 8) & 0xFFFFu;
    const uint32_t mask = (1u << (static_cast<uint32_t>(entry >> 24) & 0xFu)) - 1u;
    const uint32_t long_code = long_codes_[offset + (bits_after & mask)];
    return LiteralCodeMatch{long_code & 0xFFFFu, long_code >> 16};
  }

 private:
  // A group of codes longer than the table shares its first kLiteralTableBits bits; being a
  // complete subtree of longer codes, it holds at least two of them, so there are at most
  // 144 groups, each with a second table of at most 2^kLongCodeExtraBits entries.
  static constexpr uint32_t kLongCodeEntries =
      kFixedLiteralLengthCodes / 2 * (1u << kLongCodeExtraBits);

  void fill_levels(const uint8_t* lengths, const uint16_t* sorted, uint32_t short_codes);
  void add_first_codes_that_end_the_run(const uint8_t* lengths, const uint16_t* sorted,
                                        uint32_t coded);

  uint64_t entries_[1u << kLiteralTableBits];
  // The entries for indices of fewer bits, b = 0 to kLiteralTableBits - 1, at offset 2^b:
  // what the tail of an index holds once its first code is taken.
  uint64_t shorter_[1u << kLiteralTableBits];
  // Symbol | length << 16 of each long code, the groups' second tables one after another.
  uint32_t long_codes_[kLongCodeEntries];
  uint16_t reversed_codes_[kFixedLiteralLengthCodes];
};

}  // namespace quorvel

#endif  // QUORVEL_CODECS_DEFLATE_LITERAL_DECODE_TABLE_H_
