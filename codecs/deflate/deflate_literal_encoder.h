// DeflateLiteralEncoder: writes bytes as one zlib stream whose deflate blocks hold literals
// only, the stream zlib's Huffman-only mode writes, an order of magnitude faster.
//
// Stream: the zlib header 78 01; the input cut into blocks of whole kLiteralChunkBytes
// chunks (up to kLiteralBlockMaxBytes; deflate_format.h says how they are joined), each
// either a dynamic Huffman block (257 literal/length codes of at most 15 bits, two unused
// distance codes of length 1, then every byte's code and end of block) or, where that is
// smaller, stored blocks of at most 65,535 bytes; BFINAL on the last block; then the
// Adler-32 of the input, most significant byte first. The caller owns the output.
#ifndef QUORVEL_CODECS_DEFLATE_DEFLATE_LITERAL_ENCODER_H_
#define QUORVEL_CODECS_DEFLATE_DEFLATE_LITERAL_ENCODER_H_

#include <cstdint>
#include <memory>

#include "codecs/deflate/deflate_bit_writer.h"
#include "codecs/deflate/deflate_format.h"

namespace quorvel {

struct DeflateStream {
  uint32_t bytes;  // length of the zlib stream; 0 when nothing was written
  uint32_t adler;  // the Adler-32 of the input, as the trailer holds it
};

class DeflateLiteralEncoder {
 public:
  // Null when the encoder's tables cannot be allocated.
  static std::unique_ptr<DeflateLiteralEncoder> create();

  // The longest stream n input bytes can give: a block costs at most what it costs stored,
  // 5 bytes per stored block of up to 65,535 bytes besides the bytes themselves, and no
  // block needs more stored blocks than it has chunks; plus header and trailer. That is 5
  // bytes per chunk (one for n = 0) over n + 6.
  static uint64_t max_stream_bytes(uint32_t n);

  // The bit writer stores 8 bytes at a time and the last store may reach this many bytes
  // past the end of the stream; the destination must have them.
  static constexpr uint32_t kSpareBytes = DeflateBitWriter::kSpareBytes - kZlibTrailerBytes;

  // Writes the stream of the n bytes at source into destination. Returns {0, 0} and writes
  // nothing when capacity is below max_stream_bytes(n) + kSpareBytes.
  DeflateStream encode(const uint8_t* source, uint32_t n, uint8_t* destination, uint64_t capacity);

 private:
  DeflateLiteralEncoder() = default;

  // REQUIRES: byte_counts holds the counts of the n bytes.
  void write_block(const uint8_t* block, uint32_t n, const uint32_t byte_counts[256], bool last,
                   DeflateBitWriter* writer);
  void write_stored(const uint8_t* block, uint32_t n, bool last, DeflateBitWriter* writer);
  void code_literals(const uint8_t* block, uint32_t n, const uint32_t counts[256],
                     const uint16_t* codes, const uint8_t* lengths, DeflateBitWriter* writer);

  // The codes of byte pairs, index first byte | second byte << 8: the first byte's code in
  // the low bits. Rebuilt per block for the values that occur in it; other entries stale.
  uint32_t pair_codes_[1u << 16];
  uint8_t pair_lengths_[1u << 16];
};

}  // namespace quorvel

#endif  // QUORVEL_CODECS_DEFLATE_DEFLATE_LITERAL_ENCODER_H_
