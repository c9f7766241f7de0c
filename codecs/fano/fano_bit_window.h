// FanoBitWindow: the MSB-first bit window of the multi-symbol decoder. It holds the stream
// from a bit position on in one machine word, first bit at the top, and tops itself up with
// one unaligned load of a whole word, without a branch on how many bits it has. It never
// looks past the payload by itself: the caller opens and refills it only while a whole word
// is left to load, and decodes the last bytes of the payload another way.
#ifndef QUORVEL_CODECS_FANO_FANO_BIT_WINDOW_H_
#define QUORVEL_CODECS_FANO_FANO_BIT_WINDOW_H_

#include <cstdint>

#include "util/big_endian.h"

namespace quorvel {

// Word: uint64_t or uint32_t, the register width that shifts cheaply.
template <typename Word>
class FanoBitWindow {
 public:
  static constexpr uint32_t kWordBytes = sizeof(Word);
  static constexpr uint32_t kWordBits = 8 * kWordBytes;
  static constexpr uint32_t kBitsAfterRefill = kWordBits - 8;  // at least

  // True when a window can be opened at bit_pos of a payload of payload_len bytes.
  static bool can_open(uint32_t payload_len, uint64_t bit_pos) {
    return (bit_pos >> 3) + kWordBytes <= payload_len;
  }

  // REQUIRES: can_open(payload_len, bit_pos).
  FanoBitWindow(const uint8_t* payload, uint64_t bit_pos) {
    const uint8_t* const first = payload + (bit_pos >> 3);
    const uint32_t skip = static_cast<uint32_t>(bit_pos & 7u);
    // The word's last byte is left out of the count: its bits are in bits_ all the same,
    // which is all that a later refill needs (it ORs the same stream bits over them).
    bits_ = load(first) << skip;
    count_ = kBitsAfterRefill - skip;
    next_ = first + kWordBytes - 1;
  }

  // Tops the window up to kBitsAfterRefill bits or more.
  // REQUIRES: next() + kWordBytes <= the payload's end.
  void refill() {
    // Bits below the top count_ ones are zeros or already the stream's own, so OR-ing the
    // word in at count_ puts every bit in place; only the whole bytes that fit are counted.
    bits_ |= load(next_) >> count_;
    next_ += (kWordBits - 1 - count_) >> 3;
    count_ |= kBitsAfterRefill;
  }

  // The next `bits` bits of the stream (1 to kBitsAfterRefill), as a number.
  template <uint32_t bits>
  uint32_t peek() const {
    return static_cast<uint32_t>(bits_ >> (kWordBits - bits));
  }

  // REQUIRES: bits <= the bits the window has.
  void consume(uint32_t bits) {
    // The mask changes nothing here; it tells the compiler that x86's shift, which masks its
    // count the same way, needs no extension of `bits` first.
    bits_ <<= bits & (kWordBits - 1);
    count_ -= bits;
  }

  // The bits the window holds at least (never more than kWordBits - 1).
  uint32_t bits_held() const { return count_; }

  // The window as a 64-bit number, first bit at bit 63; only the first bits_held() of it are
  // sure to be the stream's.
  uint64_t top_bits() const { return static_cast<uint64_t>(bits_) << (64 - kWordBits); }

  // The first byte whose bits the window does not count yet.
  const uint8_t* next() const { return next_; }

  // The stream position of the window's first bit.
  uint64_t bit_position(const uint8_t* payload) const {
    return static_cast<uint64_t>(next_ - payload) * 8u - count_;
  }

 private:
  static Word load(const uint8_t* in) {
    if constexpr (sizeof(Word) == 8) {
      return get_be64(in);
    } else {
      return get_be32(in);
    }
  }

  Word bits_;
  uint32_t count_;
  const uint8_t* next_;
};

}  // namespace quorvel

#endif  // QUORVEL_CODECS_FANO_FANO_BIT_WINDOW_H_
