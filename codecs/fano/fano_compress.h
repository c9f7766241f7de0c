// fano_compress: writes the type-2 stream of n bytes for a code built from their counts:
// the tree, then every byte's code in order, then zero padding to a whole byte. The fast
// version codes two bytes per look-up in a FanoPairCodeTable and writes with FanoBitWriter;
// the reference writes one bit at a time with put_bits and is what the fast one is tested
// against.
#ifndef QUORVEL_CODECS_FANO_FANO_COMPRESS_H_
#define QUORVEL_CODECS_FANO_FANO_COMPRESS_H_

#include <cstdint>

#include "codecs/fano/fano_code_builder.h"
#include "codecs/fano/fano_pair_code_table.h"

namespace quorvel {

// REQUIRES: code was built (kOk) from count_bytes of these n source bytes, and
// destination holds fano_bytes_for_bits(code.stream_bits) bytes. Writes exactly that many
// bytes and returns their number. *pairs is a work area: rebuilt from code, then read.
uint64_t fano_compress(const FanoCodeBook& code, const uint8_t* source, uint32_t n,
                       uint8_t* destination, FanoPairCodeTable* pairs);

// The same stream, written bit by bit.
uint64_t fano_compress_reference(const FanoCodeBook& code, const uint8_t* source, uint32_t n,
                                 uint8_t* destination);

}  // namespace quorvel

#endif  // QUORVEL_CODECS_FANO_FANO_COMPRESS_H_
