// DeflateBitWriter: the LSB-first bit writer of the deflate encoder. Pending bits sit at the
// bottom of a 64-bit accumulator, the first bit at bit 0, and go out with one 8-byte
// little-endian store per call, of which only the whole bytes count.
#ifndef QUORVEL_CODECS_DEFLATE_DEFLATE_BIT_WRITER_H_
#define QUORVEL_CODECS_DEFLATE_DEFLATE_BIT_WRITER_H_

#include <cstdint>
#include <cstring>

#include "codecs/bit_accumulator.h"

namespace quorvel {

class DeflateBitWriter {
 public:
  // Every store writes 8 bytes at the current byte, so up to this many bytes past the end
  // of what has been written are overwritten (with bits still to come, or zeros).
  static constexpr uint32_t kSpareBytes = 8;

  // REQUIRES: the block at begin holds every byte that will be written plus kSpareBytes.
  explicit DeflateBitWriter(uint8_t* begin) : next_(begin) {}

  // REQUIRES: count <= 32 and value < 2^count (count 0 writes nothing).
  void put(uint32_t value, uint32_t count) {
    add(value, count);
    flush();
  }

  // Two codes of up to kMaxPairedBits bits each (pairs of 15-bit Huffman codes) with one
  // store; an extra store when the second would not fit the accumulator (7 + 30 + 30 > 64).
  static constexpr uint32_t kMaxPairedBits = 30;
  void put_two(uint32_t first, uint32_t first_count, uint32_t second, uint32_t second_count) {
    add(first, first_count);
    if (pending_ > 63 - kMaxPairedBits) flush();
    add(second, second_count);
    flush();
  }

  // Four such codes; with one store when they fit the accumulator together (7 + 56 bits),
  // which the short codes of a filtered frame almost always do.
  static constexpr uint32_t kMaxGroupBits = 56;
  void put_four(uint32_t c0, uint32_t l0, uint32_t c1, uint32_t l1, uint32_t c2, uint32_t l2,
                uint32_t c3, uint32_t l3) {
    if (l0 + l1 + l2 + l3 <= kMaxGroupBits) {
      add(c0, l0);
      add(c1, l1);
      add(c2, l2);
      add(c3, l3);
      flush();
    } else {
      put_two(c0, l0, c1, l1);
      put_two(c2, l2, c3, l3);
    }
  }

  // Zero bits up to the next byte boundary.
  void align_to_byte() {
    pending_ = (pending_ + 7u) & ~7u;
    flush();
  }

  // REQUIRES: at a byte boundary (after align_to_byte). Copies n bytes as they are.
  void put_bytes(const uint8_t* bytes, uint32_t n) {
    std::memcpy(next_, bytes, n);
    next_ += n;
  }

  // Bits written since the last whole byte: 0 to 7.
  uint32_t pending_bits() const { return pending_; }

  // Writes the last, partly filled byte (zero padded) and returns the end of the stream.
  uint8_t* finish() {
    align_to_byte();
    return next_;
  }

 private:
  // REQUIRES: pending_ + count <= 63.
  void add(uint32_t value, uint32_t count) {
    bits_.or_shifted(value, pending_);
    pending_ += count;
  }

  // Stores the accumulator and keeps the 0-7 bits of the last, partial byte.
  void flush() {
    const uint32_t whole = pending_ & ~7u;  // at most 56: every shift below is defined
    bits_.store_le64(next_);
    bits_.shift_right(whole);
    next_ += whole >> 3;
    pending_ &= 7u;
  }

  uint8_t* next_;
  BitAccumulator bits_;   // pending bits from bit 0 up; above them zeros
  uint32_t pending_ = 0;  // 0 to 7 between calls
};

}  // namespace quorvel

#endif  // QUORVEL_CODECS_DEFLATE_DEFLATE_BIT_WRITER_H_
