// Counts of the byte values of a buffer, from which the deflate and prefix-code encoders
// build their codes.
#ifndef QUORVEL_CODECS_BYTE_HISTOGRAM_H_
#define QUORVEL_CODECS_BYTE_HISTOGRAM_H_

#include <cstdint>

namespace quorvel {

// counts[v] = occurrences of byte value v among the n bytes at source.
void count_bytes(const uint8_t* source, uint32_t n, uint32_t counts[256]);

}  // namespace quorvel

#endif  // QUORVEL_CODECS_BYTE_HISTOGRAM_H_
