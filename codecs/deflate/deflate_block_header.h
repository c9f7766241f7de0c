// The header of a dynamic deflate block that codes literals only (RFC 1951 section 3.2.7):
// HLIT 0 (257 literal/length codes), HDIST 1 (two distance codes, both of length 1), HCLEN,
// the code-length code's lengths 3 bits each in the fixed order, then the 259 code lengths
// run-length coded with that code. Planned first, so that its exact size in bits is known
// before the block is chosen over a stored one; written afterwards.
#ifndef QUORVEL_CODECS_DEFLATE_DEFLATE_BLOCK_HEADER_H_
#define QUORVEL_CODECS_DEFLATE_DEFLATE_BLOCK_HEADER_H_

#include <cstdint>

#include "codecs/deflate/deflate_bit_writer.h"
#include "codecs/deflate/deflate_format.h"

namespace quorvel {

struct DynamicBlockHeader {
  static constexpr uint32_t kLengthsCoded = kLiteralAlphabetSize + kDistanceCodesWritten;

  // The run-length coded lengths: code-length symbols and the value of their extra bits.
  uint8_t symbols[kLengthsCoded];
  uint8_t extra[kLengthsCoded];
  uint32_t symbol_count;
  uint8_t code_length_lengths[kCodeLengthAlphabetSize];
  uint16_t code_length_codes[kCodeLengthAlphabetSize];  // bit-reversed
  uint32_t code_lengths_sent;                           // HCLEN + 4
  uint64_t bits;                                        // everything after BFINAL and BTYPE
};

// REQUIRES: literal_lengths[0..256] form a complete code of lengths 0 to 15.
void plan_dynamic_block_header(const uint8_t* literal_lengths, DynamicBlockHeader* header);

// Writes the planned header, after BFINAL and BTYPE; exactly header.bits bits.
void write_dynamic_block_header(const DynamicBlockHeader& header, DeflateBitWriter* writer);

}  // namespace quorvel

#endif  // QUORVEL_CODECS_DEFLATE_DEFLATE_BLOCK_HEADER_H_
