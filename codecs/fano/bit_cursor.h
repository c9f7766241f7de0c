// BitCursor: the plain MSB-first bit writer and reader of the type-2 payload, one bit at a
// time. Bits fill each byte from its most significant bit down; fields of several bits go
// most significant bit first. It is the tested reference that the fast writer and the table
// decoder must match bit for bit.
#ifndef QUORVEL_CODECS_FANO_BIT_CURSOR_H_
#define QUORVEL_CODECS_FANO_BIT_CURSOR_H_

#include <cstdint>

namespace quorvel {

struct BitCursor {
  uint8_t* next_byte;   // the byte now being filled (writer) or read (reader)
  uint32_t bit_index;   // 0 is the most significant bit of next_byte, 7 the least
  uint32_t bytes_left;  // bytes the cursor may still enter; at 0 it neither writes nor reads
  // Sticky: bits that could not be written, or were read as implicit zeros, because the
  // cursor had reached the end of its buffer. 0 means every bit went through.
  uint64_t overrun_bits;
};

// A cursor at the first byte of a buffer of `capacity` bytes. A reader's buffer is never
// written through, hence the const_cast.
inline BitCursor open_bit_cursor(uint8_t* buffer, uint32_t capacity) {
  return BitCursor{buffer, 0, capacity, 0};
}
inline BitCursor open_bit_reader(const uint8_t* buffer, uint32_t capacity) {
  return open_bit_cursor(const_cast<uint8_t*>(buffer), capacity);
}

// Bits the cursor has entered since it was opened on a buffer of `capacity` bytes.
inline uint64_t bits_entered(const BitCursor& cursor, uint32_t capacity) {
  return (static_cast<uint64_t>(capacity) - cursor.bytes_left) * 8u + cursor.bit_index;
}

inline void advance_bit(BitCursor* cursor) {
  if (++cursor->bit_index == 8) {
    cursor->bit_index = 0;
    ++cursor->next_byte;
    --cursor->bytes_left;
  }
}

// Writes the low `count` bits of value (count 1 to 32), most significant first, setting or
// clearing each bit and leaving the byte's other bits as they are. Bits past the end of the
// buffer are dropped and counted in overrun_bits.
inline void put_bits(BitCursor* cursor, uint32_t value, uint32_t count) {
  for (uint32_t bit = count; bit-- > 0;) {
    if (cursor->bytes_left == 0) {
      cursor->overrun_bits += bit + 1;
      return;
    }
    const uint8_t mask = static_cast<uint8_t>(0x80u >> cursor->bit_index);
    if ((value >> bit) & 1u) {
      *cursor->next_byte = static_cast<uint8_t>(*cursor->next_byte | mask);
    } else {
      *cursor->next_byte = static_cast<uint8_t>(*cursor->next_byte & ~mask);
    }
    advance_bit(cursor);
  }
}

// Reads `count` bits (1 to 32) and returns them with the first bit read the most
// significant. Past the end of the buffer the payload reads as zero bits, each counted in
// overrun_bits, so a truncated stream behaves like one padded with zero bytes.
inline uint32_t get_bits(BitCursor* cursor, uint32_t count) {
  uint32_t result = 0;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t bit = 0;
    if (cursor->bytes_left == 0) {
      ++cursor->overrun_bits;
    } else {
      bit = (*cursor->next_byte >> (7u - cursor->bit_index)) & 1u;
      advance_bit(cursor);
    }
    result = (result << 1) | bit;
  }
  return result;
}

}  // namespace quorvel

#endif  // QUORVEL_CODECS_FANO_BIT_CURSOR_H_
