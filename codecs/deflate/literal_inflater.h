// LiteralInflater: the first stage of inflating a deflate payload, a decoder of its own for
// the zlib streams that hold literals only, as our encoder and zlib's Huffman-only mode write
// them: the zlib header checked, stored blocks copied, fixed and dynamic Huffman blocks
// decoded several literals per table look-up (literal_block_decoder.h), the Adler-32 trailer
// checked. A stream it does not take whole (a length symbol, anything malformed, truncated,
// too long for the output or with another checksum) is left, from its start, to the general
// inflater, which decides it as it always has.
#ifndef QUORVEL_CODECS_DEFLATE_LITERAL_INFLATER_H_
#define QUORVEL_CODECS_DEFLATE_LITERAL_INFLATER_H_

#include <cstddef>
#include <cstdint>
#include <memory>

#include "codecs/deflate/deflate_bit_window.h"
#include "codecs/deflate/literal_block_decoder.h"
#include "codecs/deflate/literal_decode_table.h"
#include "codecs/deflate/literal_inflate_status.h"

namespace quorvel {

struct LiteralInflateResult {
  LiteralInflateStatus status;
  size_t produced;  // bytes of the stream at the front of the output, when kComplete
};

class LiteralInflater {
 public:
  // Returns an inflater with its tables allocated (the fixed code's built), or null.
  static std::unique_ptr<LiteralInflater> create();

  // Inflates the zlib stream of stream_length bytes into capacity bytes at out, reading
  // nothing past stream_length and writing nothing past capacity; bytes after the trailer
  // are not read. With kComplete, `produced` bytes are the stream's; otherwise any byte of
  // out may have been written. Nothing of one call is kept for the next.
  LiteralInflateResult inflate(const uint8_t* stream, uint32_t stream_length, uint8_t* out,
                               uint32_t capacity);

 private:
  LiteralInflater() = default;

  LiteralInflateStatus decode_block(uint32_t block_type, const uint8_t* stream_end,
                                    LiteralBitWindow* window, LiteralOutput* output);

  LiteralDecodeTable fixed_;    // built once
  LiteralDecodeTable dynamic_;  // rebuilt for every dynamic block
};

}  // namespace quorvel

#endif  // QUORVEL_CODECS_DEFLATE_LITERAL_INFLATER_H_
