// FanoMultiSymbolTable: the whole codes that the next 12 bits of the stream begin with, up to
// six of them, found with one look-up. An entry holds their byte values in stream order, the
// bits they take together and how many they are. An entry with none means that the first code
// is longer than 12 bits or leads into an absent slot: the exact decoder settles those.
#ifndef QUORVEL_CODECS_FANO_FANO_MULTI_SYMBOL_TABLE_H_
#define QUORVEL_CODECS_FANO_FANO_MULTI_SYMBOL_TABLE_H_

#include <cstdint>

#include "codecs/fano/fano_decode_table.h"

namespace quorvel {

constexpr uint32_t kFanoMultiTableBits = 12;
constexpr uint32_t kFanoMostSymbolsPerEntry = 6;

class FanoMultiSymbolTable {
 public:
  // Entry layout: the low byte is the bits taken, bytes 1 to 6 the byte values in stream
  // order, the top byte their number. The bits come first because the next look-up waits for
  // them: the low byte of a register is a shift count as it is.
  static uint32_t bit_count(uint64_t entry) { return static_cast<uint32_t>(entry) & 0xFFu; }
  static uint32_t symbol_count(uint64_t entry) { return static_cast<uint32_t>(entry >> 56); }
  // Stored little-endian, the first symbol_count bytes of this are the decoded bytes.
  static uint64_t symbols(uint64_t entry) { return entry >> 8; }

  // REQUIRES: single was built from a tree whose codes are at least one bit long (not a
  // one-leaf tree), so that every value an entry holds takes bits.
  explicit FanoMultiSymbolTable(const FanoDecodeTable& single);

  // index: the next 12 bits of the stream, the first one most significant.
  uint64_t entry(uint32_t index) const { return entries_[index]; }

 private:
  uint64_t entries_[1u << kFanoMultiTableBits];
};

}  // namespace quorvel

#endif  // QUORVEL_CODECS_FANO_FANO_MULTI_SYMBOL_TABLE_H_
