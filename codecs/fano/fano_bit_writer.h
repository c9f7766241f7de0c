// FanoBitWriter: the fast MSB-first bit writer of the type-2 encoder. Pending bits sit at the
// top of a 64-bit accumulator (64-bit on purpose: the DLL is 32-bit) and go out with one
// 8-byte big-endian store per call while 8 bytes of room remain, byte by byte near the end.
// It writes the same bytes as put_bits, with the padding bits of the last byte zero.
#ifndef QUORVEL_CODECS_FANO_FANO_BIT_WRITER_H_
#define QUORVEL_CODECS_FANO_FANO_BIT_WRITER_H_

#include <cstdint>

#include "codecs/bit_accumulator.h"

namespace quorvel {

class FanoBitWriter {
 public:
  // Writes into [begin, end); the caller sizes the block to the exact stream length, so
  // the writer never stores past end.
  FanoBitWriter(uint8_t* begin, uint8_t* end) : next_(begin), end_(end) {}

  // REQUIRES: 1 <= count <= 32, value < 2^count, and room for the bits before end.
  void put(uint32_t value, uint32_t count) {
    add(value, count);
    flush();
  }

  // Two codes with one store. REQUIRES: each count 1 to 32, their sum at most kMaxTwoCodeBits.
  // 7 pending + 56 = 63 bits at most, so that the flush shifts by at most 56.
  static constexpr uint32_t kMaxTwoCodeBits = 56;
  void put_two(uint32_t first, uint32_t first_count, uint32_t second, uint32_t second_count) {
    add(first, first_count);
    add(second, second_count);
    flush();
  }

  // Writes the last, partly filled byte (zero padded) and returns the end of the stream.
  uint8_t* finish() {
    if (pending_ > 0) *next_++ = static_cast<uint8_t>(bits_.value() >> 56);
    pending_ = 0;
    bits_.clear();
    return next_;
  }

 private:
  void add(uint32_t value, uint32_t count) {
    pending_ += count;
    bits_.or_shifted(value, 64u - pending_);
  }
  void flush() {
    if (end_ - next_ >= 8) {
      bits_.store_be64(next_);
    } else {
      store_whole_bytes();
    }
    next_ += pending_ >> 3;
    // pending_ & ~7 is at most 56 here, so the shift is defined.
    bits_.shift_left(pending_ & ~7u);
    pending_ &= 7u;
  }
  void store_whole_bytes() {
    const uint64_t value = bits_.value();
    for (uint32_t i = 0; i < (pending_ >> 3); ++i) {
      next_[i] = static_cast<uint8_t>(value >> (56 - 8 * i));
    }
  }

  BitAccumulator bits_;  // pending bits, first bit at bit 63; below them zeros
  uint8_t* next_;
  uint8_t* const end_;
  uint32_t pending_ = 0;  // 0 to 7 between calls
};

}  // namespace quorvel

#endif  // QUORVEL_CODECS_FANO_FANO_BIT_WRITER_H_
