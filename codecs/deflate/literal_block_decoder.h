// decode_literal_block: the codes of one fixed or dynamic deflate block, up to and including
// its end of block, written as bytes. While a whole group of refills is left to load and the
// output has room for a group's stores, it decodes several literals per look-up with no
// bounds check inside the group; near either end, and for codes the table's entries do not
// hold, it takes one entry or one code at a time with every bound checked.
#ifndef QUORVEL_CODECS_DEFLATE_LITERAL_BLOCK_DECODER_H_
#define QUORVEL_CODECS_DEFLATE_LITERAL_BLOCK_DECODER_H_

#include <cstdint>

#include "codecs/deflate/deflate_bit_window.h"
#include "codecs/deflate/literal_decode_table.h"
#include "codecs/deflate/literal_inflate_status.h"

namespace quorvel {

// Where a block's bytes go: *out moves on from the next byte to write, never to or past end.
struct LiteralOutput {
  uint8_t* next;
  uint8_t* end;
};

// Decodes from the window on, reading nothing at or past stream_end. Returns kComplete with
// the window just past the end-of-block code; else kNotLiteral, kTruncated or kOverrun. Bytes
// of the output past `next` may have been written either way.
LiteralInflateStatus decode_literal_block(const LiteralDecodeTable& table,
                                          const uint8_t* stream_end, LiteralBitWindow* window,
                                          LiteralOutput* output);

}  // namespace quorvel

#endif  // QUORVEL_CODECS_DEFLATE_LITERAL_BLOCK_DECODER_H_
