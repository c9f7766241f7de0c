// Builds the prefix code of one frame from the counts of its byte values: the values sorted
// by count (highest first, ties in ascending value), split recursively into the shortest
// leading run whose counts exceed half the part's total, and the resulting tree written in
// the payload's grammar. The built code also knows the exact length of the stream it gives.
#ifndef QUORVEL_CODECS_FANO_FANO_CODE_BUILDER_H_
#define QUORVEL_CODECS_FANO_FANO_CODE_BUILDER_H_

#include <cstdint>

#include "codecs/fano/fano_format.h"

namespace quorvel {

// The code book of one frame: every byte value's code, the tree that the payload carries, and
// the stream's exact length.
struct FanoCodeBook {
  FanoSymbol symbols[kFanoSymbolCount];  // entry v describes byte value v
  uint8_t tree[kFanoMaxTreeBytes];       // the tree's bits, MSB first, zero padded
  uint64_t tree_bits;
  uint64_t stream_bits;  // tree_bits plus count x code_length over all values
};

enum class FanoBuildResult {
  kOk,
  kNothingToCode,  // every count is 0
  kCodeTooLong,    // some value would need a code of more than 32 bits
};

// Builds the code for a count table. The counts are any 32-bit numbers (their total may pass
// 32 bits). On a result other than kOk, *code holds nothing of use.
FanoBuildResult build_fano_code(const uint32_t counts[kFanoSymbolCount], FanoCodeBook* code);

}  // namespace quorvel

#endif  // QUORVEL_CODECS_FANO_FANO_CODE_BUILDER_H_
