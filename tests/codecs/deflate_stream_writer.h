// DeflateStreamWriter: builds zlib streams for the inflater tests, field by field, with a
// byte-at-a-time LSB-first bit writer and canonical codes of its own (independent of the
// codec's encoder), so that well-formed and malformed headers and blocks can be written
// alike.
#ifndef QUORVEL_TESTS_CODECS_DEFLATE_STREAM_WRITER_H_
#define QUORVEL_TESTS_CODECS_DEFLATE_STREAM_WRITER_H_

#include <cstdint>
#include <vector>

namespace quorvel {

// Canonical codes (RFC 1951 section 3.2.2) of the given lengths, MSB-first values; 0 where
// the length is 0.
std::vector<uint32_t> canonical_codes(const std::vector<uint8_t>& lengths);

class DeflateStreamWriter {
 public:
  // `count` bits of value, lowest first.
  void bits(uint32_t value, uint32_t count);
  // A Huffman code: its most significant bit first.
  void code(uint32_t value, uint32_t length);
  // Zero bits up to the next byte boundary.
  void align();
  void byte(uint8_t value) { bits(value, 8); }

  // The zlib header bytes as given.
  void zlib_header(uint8_t cmf = 0x78, uint8_t flg = 0x01);
  // The block header: BFINAL, then BTYPE.
  void block_header(bool final, uint32_t type);
  // A stored block's LEN, NLEN and bytes, after its header; nlen as given.
  void stored_body(const std::vector<uint8_t>& data, uint32_t nlen);
  void stored_body(const std::vector<uint8_t>& data);
  // One symbol (0-287) of the fixed literal/length code.
  void fixed_symbol(uint32_t symbol);
  // A fixed block's symbols after its header, then end of block.
  void fixed_body(const std::vector<uint32_t>& symbols);
  // A dynamic block after its header: HLIT, HDIST and HCLEN from the sizes given, every
  // code-length code length sent (4 bits each symbol 0-15, so a complete code; 16-18
  // unused), each length written as itself, then the symbols with the literal/length code
  // and end of block. REQUIRES: 257 <= literal.size() <= 288, 1 <= distance.size() <= 32.
  void dynamic_body(const std::vector<uint8_t>& literal, const std::vector<uint8_t>& distance,
                    const std::vector<uint32_t>& symbols);
  // The header of a dynamic block with a code-length code of its own and the code-length
  // symbols given as (symbol, extra bits value) pairs, written with that code; nothing else.
  void dynamic_header(uint32_t literal_count, uint32_t distance_count,
                      const std::vector<uint8_t>& code_length_lengths,
                      const std::vector<std::pair<uint32_t, uint32_t>>& length_symbols);
  // Zero padding to the byte, then the Adler-32 of `data`, most significant byte first.
  void trailer(const std::vector<uint8_t>& data);

  const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
  uint32_t pending_bits_ = 0;  // bits used of the last byte, 0 when it is whole
};

}  // namespace quorvel

#endif  // QUORVEL_TESTS_CODECS_DEFLATE_STREAM_WRITER_H_
