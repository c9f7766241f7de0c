// fano_expand: decodes n positions of a type-2 payload into at most n bytes. The tree is
// read and validated first; a rejected tree decodes nothing. Each position then takes one
// code; a path into an absent slot consumes as many bits as the longest code and gives no
// byte (the output ends short). Decoding stops at the first position whose bits would end
// past the payload, so time and output stay bounded by the payload for any input. Several
// codes come from one table look-up where they can (fano_multi_symbol_run.h).
#ifndef QUORVEL_CODECS_FANO_FANO_EXPAND_H_
#define QUORVEL_CODECS_FANO_FANO_EXPAND_H_

#include <cstdint>

#include "codecs/fano/fano_tree_reader.h"

namespace quorvel {

enum class FanoExpandStatus {
  kComplete,          // all n positions decoded (some may have given no byte)
  kTreeRejected,      // see tree_result; nothing written
  kPayloadExhausted,  // the payload ended before the n-th position
};

struct FanoExpandResult {
  FanoExpandStatus status;
  FanoTreeResult tree_result;
  uint32_t bytes_written;  // from the start of destination; the rest is left as it was
};

// destination holds n bytes; payload holds payload_len bytes and is only read.
FanoExpandResult fano_expand(const uint8_t* payload, uint8_t* destination, uint32_t payload_len,
                             uint32_t n);

}  // namespace quorvel

#endif  // QUORVEL_CODECS_FANO_FANO_EXPAND_H_
