// The two decoders fano_expand is measured and tested against, with its contract and
// results: fano_expand_one_code_per_lookup takes one code per look-up of a FanoDecodeTable
// everywhere (what fano_expand does only where its multi-symbol table cannot settle a
// position; the benchmark's baseline), and fano_expand_reference walks the leaves sorted by
// code length bit by bit (what the fast ones must agree with, byte for byte).
#ifndef QUORVEL_CODECS_FANO_FANO_EXPAND_VARIANTS_H_
#define QUORVEL_CODECS_FANO_FANO_EXPAND_VARIANTS_H_

#include <cstdint>

#include "codecs/fano/fano_expand.h"

namespace quorvel {

FanoExpandResult fano_expand_one_code_per_lookup(const uint8_t* payload, uint8_t* destination,
                                                 uint32_t payload_len, uint32_t n);
FanoExpandResult fano_expand_reference(const uint8_t* payload, uint8_t* destination,
                                       uint32_t payload_len, uint32_t n);

}  // namespace quorvel

#endif  // QUORVEL_CODECS_FANO_FANO_EXPAND_VARIANTS_H_
