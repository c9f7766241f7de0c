// The type-2 payload ("Fano" prefix code) and its limits. The payload is one MSB-first bit
// stream with no header: the code tree in pre-order, then the code of every frame byte in
// frame order, then zero padding to a whole byte. Tree grammar:
//   leaf = 1, value(8) | inner node = 0, left slot, right slot | slot = 1 node | 0 (absent)
// A left slot is reached by code bit 0, a right slot by code bit 1.
#ifndef QUORVEL_CODECS_FANO_FANO_FORMAT_H_
#define QUORVEL_CODECS_FANO_FANO_FORMAT_H_

#include <cstdint>

namespace quorvel {

// One byte value and its code. The code is right-aligned: its last bit is bit 0.
struct FanoSymbol {
  uint32_t symbol;  // the byte value, 0 to 255
  uint32_t count;   // occurrences in the frame (encoder only)
  uint32_t code;
  uint32_t code_length;  // bits; 0 for a value without a code (or a one-leaf tree)
};

constexpr uint32_t kFanoSymbolCount = 256;   // byte values, and the most leaves a tree has
constexpr uint32_t kFanoMaxCodeLength = 32;  // codes are held as 32-bit numbers
constexpr uint32_t kFanoValueBits = 8;       // the value field of a leaf

// The largest tree the encoder writes: 256 leaves of 9 bits and 255 inner nodes of 3 bits.
// With fewer values present the tree takes 12 bits per value, which is less.
constexpr uint32_t kFanoMaxTreeBits = 3069;
constexpr uint32_t kFanoMaxTreeBytes = (kFanoMaxTreeBits + 7) / 8;

// Whole bytes that hold a stream of `bits` bits.
constexpr uint64_t fano_bytes_for_bits(uint64_t bits) {
  return (bits + 7) / 8;
}

}  // namespace quorvel

#endif  // QUORVEL_CODECS_FANO_FANO_FORMAT_H_
