// fano_peek_bits: the fast MSB-first reader of the type-2 decoder. It returns the 64 bits
// that start at a bit position of the payload, first bit at bit 63, with at least 57 of
// them real; bits past the end of the payload read as zeros. Positions are 64-bit, since a
// payload of up to 2^31 bytes has more bit positions than 32 bits can count.
#ifndef QUORVEL_CODECS_FANO_FANO_BIT_READER_H_
#define QUORVEL_CODECS_FANO_FANO_BIT_READER_H_

#include <cstdint>

#include "util/big_endian.h"

namespace quorvel {

inline uint64_t fano_peek_bits(const uint8_t* payload, uint32_t payload_len, uint64_t bit_pos) {
  const uint64_t byte_pos = bit_pos >> 3;
  uint64_t word = 0;
  if (byte_pos + 8 <= payload_len) {
    word = get_be64(payload + byte_pos);
  } else {
    for (uint64_t i = byte_pos; i < byte_pos + 8; ++i) {
      word = (word << 8) | (i < payload_len ? payload[i] : 0u);
    }
  }
  return word << (bit_pos & 7u);
}

}  // namespace quorvel

#endif  // QUORVEL_CODECS_FANO_FANO_BIT_READER_H_
