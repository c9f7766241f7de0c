// FanoBitWriter: the fast MSB-first bit writer of the type-2 encoder. Pending bits sit at the
// top of a 64-bit accumulator (64-bit on purpose: the DLL is 32-bit) and go out with one
// 8-byte big-endian store per call while 8 bytes of room remain, byte by byte near the end.
// It writes the same bytes as put_bits, with the padding bits of the last byte zero.
//
// On 32-bit x86 the accumulator lives in an SSE2 register: as a uint64_t in two general
// registers every variable shift becomes a shld/shl/test/cmov sequence and the two halves
// crowd out the loop's other values, which then live on the stack.
#ifndef QUORVEL_CODECS_FANO_FANO_BIT_WRITER_H_
#define QUORVEL_CODECS_FANO_FANO_BIT_WRITER_H_

#include <cstdint>

// A build may set it to 1 on x86-64 too, so that the 32-bit path runs where 32-bit code
// cannot.
#ifndef QUORVEL_FANO_SSE2_ACCUMULATOR
#if defined(__SSE2__) && !defined(__x86_64__)
#define QUORVEL_FANO_SSE2_ACCUMULATOR 1
#else
#define QUORVEL_FANO_SSE2_ACCUMULATOR 0
#endif
#endif
#if QUORVEL_FANO_SSE2_ACCUMULATOR
#include <emmintrin.h>
#endif

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
    if (pending_ > 0) *next_++ = static_cast<uint8_t>(bits() >> 56);
    pending_ = 0;
    clear();
    return next_;
  }

 private:
  void add(uint32_t value, uint32_t count) {
    pending_ += count;
    or_shifted(value, 64u - pending_);
  }
  void flush() {
    if (end_ - next_ >= 8) {
      store_be64();
    } else {
      store_whole_bytes();
    }
    next_ += pending_ >> 3;
    // pending_ & ~7 is at most 56 here, so the shift is defined.
    shift_left(pending_ & ~7u);
    pending_ &= 7u;
  }
  void store_whole_bytes() {
    const uint64_t value = bits();
    for (uint32_t i = 0; i < (pending_ >> 3); ++i) {
      next_[i] = static_cast<uint8_t>(value >> (56 - 8 * i));
    }
  }

#if QUORVEL_FANO_SSE2_ACCUMULATOR
  // REQUIRES: shift < 64 (psllq would give 0 for more, but the callers never ask for it).
  void or_shifted(uint32_t value, uint32_t shift) {
    bits_ = _mm_or_si128(bits_, _mm_sll_epi64(_mm_cvtsi32_si128(static_cast<int>(value)),
                                              _mm_cvtsi32_si128(static_cast<int>(shift))));
  }
  void shift_left(uint32_t shift) {
    bits_ = _mm_sll_epi64(bits_, _mm_cvtsi32_si128(static_cast<int>(shift)));
  }
  // The low quadword byte-reversed (words reversed, then the bytes of each word swapped),
  // so that the little-endian store puts the first bits first.
  void store_be64() {
    const __m128i words = _mm_shufflelo_epi16(bits_, _MM_SHUFFLE(0, 1, 2, 3));
    const __m128i bytes = _mm_or_si128(_mm_slli_epi16(words, 8), _mm_srli_epi16(words, 8));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(next_), bytes);
  }
  uint64_t bits() const {
    const auto low = static_cast<uint32_t>(_mm_cvtsi128_si32(bits_));
    const auto high = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_epi64(bits_, 32)));
    return static_cast<uint64_t>(high) << 32 | low;
  }
  void clear() {
    bits_ = _mm_setzero_si128();
  }

  __m128i bits_ = _mm_setzero_si128();  // the low quadword as the uint64_t below
#else
  // REQUIRES: shift < 64.
  void or_shifted(uint32_t value, uint32_t shift) {
    bits_ |= static_cast<uint64_t>(value) << shift;
  }
  void shift_left(uint32_t shift) {
    bits_ <<= shift;
  }
  void store_be64() {
    for (int i = 0; i < 8; ++i) next_[i] = static_cast<uint8_t>(bits_ >> (56 - 8 * i));
  }
  uint64_t bits() const {
    return bits_;
  }
  void clear() {
    bits_ = 0;
  }

  uint64_t bits_ = 0;  // pending bits, first bit at bit 63; below them zeros
#endif

  uint8_t* next_;
  uint8_t* const end_;
  uint32_t pending_ = 0;  // 0 to 7 between calls
};

}  // namespace quorvel

#endif  // QUORVEL_CODECS_FANO_FANO_BIT_WRITER_H_
