// BitAccumulator: the 64 pending bits of a bit writer and the few operations the writers
// apply to them. A plain uint64_t, or on a 32-bit x86 target the low quadword of an SSE2
// register (register_width.h says why); both give the same bits and the same stores.
#ifndef QUORVEL_CODECS_BIT_ACCUMULATOR_H_
#define QUORVEL_CODECS_BIT_ACCUMULATOR_H_

#include <cstdint>

#include "codecs/register_width.h"
#include "util/big_endian.h"
#include "util/little_endian.h"

#if QUORVEL_SSE2_BIT_ACCUMULATOR
#include <emmintrin.h>
#endif

namespace quorvel {

#if QUORVEL_SSE2_BIT_ACCUMULATOR

class BitAccumulator {
 public:
  // ORs value << shift into the bits. REQUIRES: shift < 64.
  void or_shifted(uint32_t value, uint32_t shift) {
    bits_ = _mm_or_si128(bits_, _mm_sll_epi64(_mm_cvtsi32_si128(static_cast<int>(value)),
                                              _mm_cvtsi32_si128(static_cast<int>(shift))));
  }
  // REQUIRES: shift < 64 (psllq and psrlq would give 0 for more; callers never ask).
  void shift_left(uint32_t shift) {
    bits_ = _mm_sll_epi64(bits_, _mm_cvtsi32_si128(static_cast<int>(shift)));
  }
  void shift_right(uint32_t shift) {
    bits_ = _mm_srl_epi64(bits_, _mm_cvtsi32_si128(static_cast<int>(shift)));
  }
  // The 8 bytes, lowest first.
  void store_le64(uint8_t* out) const { _mm_storel_epi64(reinterpret_cast<__m128i*>(out), bits_); }
  // The 8 bytes, highest first: words reversed, then the bytes of each word swapped.
  void store_be64(uint8_t* out) const {
    const __m128i words = _mm_shufflelo_epi16(bits_, _MM_SHUFFLE(0, 1, 2, 3));
    const __m128i bytes = _mm_or_si128(_mm_slli_epi16(words, 8), _mm_srli_epi16(words, 8));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), bytes);
  }
  uint64_t value() const {
    const auto low = static_cast<uint32_t>(_mm_cvtsi128_si32(bits_));
    const auto high = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_epi64(bits_, 32)));
    return static_cast<uint64_t>(high) << 32 | low;
  }
  void clear() { bits_ = _mm_setzero_si128(); }

 private:
  __m128i bits_ = _mm_setzero_si128();  // the low quadword is the value
};

#else

class BitAccumulator {
 public:
  // ORs value << shift into the bits. REQUIRES: shift < 64.
  void or_shifted(uint32_t value, uint32_t shift) {
    bits_ |= static_cast<uint64_t>(value) << shift;
  }
  // REQUIRES: shift < 64.
  void shift_left(uint32_t shift) { bits_ <<= shift; }
  void shift_right(uint32_t shift) { bits_ >>= shift; }
  // The 8 bytes, lowest first.
  void store_le64(uint8_t* out) const { put_le64(out, bits_); }
  // The 8 bytes, highest first.
  void store_be64(uint8_t* out) const { put_be64(out, bits_); }
  uint64_t value() const { return bits_; }
  void clear() { bits_ = 0; }

 private:
  uint64_t bits_ = 0;
};

#endif

}  // namespace quorvel

#endif  // QUORVEL_CODECS_BIT_ACCUMULATOR_H_
