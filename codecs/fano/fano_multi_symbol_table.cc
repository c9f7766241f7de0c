#include "codecs/fano/fano_multi_symbol_table.h"

namespace quorvel {
namespace {

// The single-code table answers for the 12 bits at the top of a window; the bits of the
// index that are already taken are shifted out and zeros come in behind the rest.
FanoMatch code_at(const FanoDecodeTable& single, uint32_t index, uint32_t bits_taken) {
  const uint32_t rest = (index << bits_taken) & ((1u << kFanoMultiTableBits) - 1u);
  return single.match_short(static_cast<uint64_t>(rest) << (64 - kFanoMultiTableBits));
}

uint64_t make_entry(const FanoDecodeTable& single, uint32_t index) {
  uint64_t entry = 0;
  uint32_t bits_taken = 0;
  uint32_t count = 0;
  while (count < kFanoMostSymbolsPerEntry) {
    const FanoMatch match = code_at(single, index, bits_taken);
    // A code that runs past the index was matched against the zeros shifted in, not the
    // stream; a dead end or a long code needs bits the index does not have. Either ends the
    // entry, and the next look-up starts at that code.
    if (match.symbol < 0 || match.length > kFanoMultiTableBits - bits_taken) break;
    entry |= static_cast<uint64_t>(match.symbol) << (8 + 8 * count);
    bits_taken += match.length;
    ++count;
  }
  return entry | bits_taken | static_cast<uint64_t>(count) << 56;
}

}  // namespace

FanoMultiSymbolTable::FanoMultiSymbolTable(const FanoDecodeTable& single) {
  for (uint32_t index = 0; index < (1u << kFanoMultiTableBits); ++index) {
    entries_[index] = make_entry(single, index);
  }
}

}  // namespace quorvel
