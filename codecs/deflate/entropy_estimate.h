// An estimate of the bits an ideal prefix code would spend on counted bytes (their
// entropy, sum of c * log2(total / c)), in 1/65536 bits and in integer arithmetic, so that
// every build decides alike. The deflate encoder weighs with it whether two stretches of a
// frame are cheaper under one Huffman code or under two.
#ifndef QUORVEL_CODECS_DEFLATE_ENTROPY_ESTIMATE_H_
#define QUORVEL_CODECS_DEFLATE_ENTROPY_ESTIMATE_H_

#include <cstdint>

namespace quorvel {

constexpr uint32_t kEntropyFractionBits = 16;

// log2(c) in 1/65536 units, within 2^-14 of the true value; 0 for c = 0 and c = 1.
uint32_t log2_fixed(uint32_t c);

// Sum over v of counts[v] * log2(total / counts[v]), total the sum of the counts, in
// 1/65536 bits.
uint64_t entropy_bits_fixed(const uint32_t counts[256]);

}  // namespace quorvel

#endif  // QUORVEL_CODECS_DEFLATE_ENTROPY_ESTIMATE_H_
