// DeflateBitWindow: the LSB-first bit window of the literal inflater. It holds the stream
// from a bit position on in one machine word, the first bit at bit 0, and tops itself up
// either with one unaligned load of a whole word and no branch on how many bits it has
// (refill, while a whole word is left to load), or byte by byte up to the stream's end
// (refill_up_to). It never looks past the end it is given.
#ifndef QUORVEL_CODECS_DEFLATE_DEFLATE_BIT_WINDOW_H_
#define QUORVEL_CODECS_DEFLATE_DEFLATE_BIT_WINDOW_H_

#include <cstddef>
#include <cstdint>

#include "codecs/register_width.h"
#include "util/input_check.h"
#include "util/little_endian.h"

namespace quorvel {

// Word: uint64_t or uint32_t, the register width that shifts cheaply.
template <typename Word>
class DeflateBitWindow {
 public:
  static constexpr uint32_t kWordBytes = sizeof(Word);
  static constexpr uint32_t kWordBits = 8 * kWordBytes;
  static constexpr uint32_t kBitsAfterRefill = kWordBits - 8;  // at least

  // An empty window whose first byte is at.
  explicit DeflateBitWindow(const uint8_t* at) : bits_(0), count_(0), next_(at) {}

  // True when refill() may load at next(): a whole word is left before end.
  bool can_refill(const uint8_t* end) const {
    return end - next_ >= static_cast<std::ptrdiff_t>(kWordBytes);
  }

  // Tops the window up to kBitsAfterRefill bits or more.
  // REQUIRES: can_refill(the stream's end).
  void refill() {
    // Bits above the count_ counted ones are zeros or already the stream's own, so OR-ing the
    // word in at count_ puts every bit in place; only the whole bytes that fit are counted,
    // and count_ stays below kWordBits, so every shift here is defined.
    bits_ |= load(next_) << count_;
    next_ += (kWordBits - 1 - count_) >> 3;
    count_ |= kBitsAfterRefill;
  }

  // Tops the window up byte by byte, reading nothing at or past end: afterwards it holds at
  // least kBitsAfterRefill bits, or every bit left before end.
  void refill_up_to(const uint8_t* end) {
    while (count_ < kBitsAfterRefill && next_ < end) {
      bits_ |= static_cast<Word>(*next_++) << count_;
      count_ += 8;
    }
  }

  // refill() where a whole word is left before end, else refill_up_to(end).
  void top_up(const uint8_t* end) {
    if (can_refill(end)) {
      refill();
    } else {
      refill_up_to(end);
    }
  }

  // Takes the next `bits` bits (1 to 16) as a number, first bit lowest; false, taking
  // nothing, when fewer are left before end.
  bool take(const uint8_t* end, uint32_t bits, uint32_t* value) {
    top_up(end);
    if (!QUORVEL_INPUT_OK(count_ >= bits)) return false;
    *value = peek_after(0, bits);
    consume(bits);
    return true;
  }

  // The next `bits` bits of the stream (1 to kBitsAfterRefill), first bit lowest; only the
  // first bits_held() of them are sure to be the stream's.
  template <uint32_t bits>
  uint32_t peek() const {
    static_assert(bits >= 1 && bits <= kBitsAfterRefill, "a peek fits the refilled window");
    return static_cast<uint32_t>(bits_) & ((1u << bits) - 1u);
  }

  // The next `bits` bits (0 to 31) after the first `skip` (skip + bits < kWordBits).
  uint32_t peek_after(uint32_t skip, uint32_t bits) const {
    return static_cast<uint32_t>(bits_ >> skip) & ((1u << bits) - 1u);
  }

  // REQUIRES: bits <= bits_held().
  void consume(uint32_t bits) {
    // The mask changes nothing here; it tells the compiler that x86's shift, which masks its
    // count the same way, needs no extension of `bits` first.
    bits_ >>= bits & (kWordBits - 1);
    count_ -= bits;
  }

  // Drops the bits up to the next byte boundary of the stream.
  void align_to_byte() { consume(count_ & 7u); }

  // The stream bits the window holds (never more than kWordBits - 1).
  uint32_t bits_held() const { return count_; }

  // The first byte whose bits the window does not count yet.
  const uint8_t* next() const { return next_; }

  // The byte the window's first bit is in; after align_to_byte(), the next whole byte.
  const uint8_t* byte_position() const { return next_ - ((count_ + 7u) >> 3); }

 private:
  static Word load(const uint8_t* in) {
    if constexpr (sizeof(Word) == 8) {
      return get_le64(in);
    } else {
      return get_le32(in);
    }
  }

  Word bits_;
  uint32_t count_;
  const uint8_t* next_;
};

// The literal inflater's window: 64 bits where that is a register. On a 32-bit target each
// variable 64-bit shift takes several instructions and two of its seven registers, and the
// window would be spilled on the look-ups' critical path: a 32-bit window, refilled twice as
// often, is faster there.
#if QUORVEL_NARROW_REGISTERS
using LiteralBitWindow = DeflateBitWindow<uint32_t>;
#else
using LiteralBitWindow = DeflateBitWindow<uint64_t>;
#endif

}  // namespace quorvel

#endif  // QUORVEL_CODECS_DEFLATE_DEFLATE_BIT_WINDOW_H_
