// Reads and validates the code tree at the head of a type-2 payload, before a single symbol
// is decoded: 1 to 256 leaves, no node deeper than 32, and every bit of the tree inside the
// payload. Left slots recurse and right slots loop, so the depth limit also bounds the
// recursion (at most 33 frames).
#ifndef QUORVEL_CODECS_FANO_FANO_TREE_READER_H_
#define QUORVEL_CODECS_FANO_FANO_TREE_READER_H_

#include <cstdint>

#include "codecs/fano/bit_cursor.h"
#include "codecs/fano/fano_format.h"

namespace quorvel {

// The leaves of a tree in the order they stand in the stream; count is unused.
struct FanoTree {
  FanoSymbol leaves[kFanoSymbolCount];
  uint32_t leaf_count;
  uint32_t max_code_length;  // of the leaves
  uint64_t tree_bits;        // bits the tree takes from the start of the payload
};

enum class FanoTreeResult {
  kOk,
  kTruncated,  // the tree runs past the end of the payload
  kNoLeaf,
  kTooManyLeaves,  // more than 256
  kTooDeep,        // a node deeper than 32 (its code would not fit 32 bits)
};

// Reads the tree from a reader cursor at the start of the payload, which it leaves at the
// first code bit. On a result other than kOk, *tree holds nothing of use.
FanoTreeResult read_fano_tree(BitCursor* cursor, uint32_t payload_len, FanoTree* tree);

}  // namespace quorvel

#endif  // QUORVEL_CODECS_FANO_FANO_TREE_READER_H_
