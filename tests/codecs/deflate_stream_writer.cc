#include "tests/codecs/deflate_stream_writer.h"

#include <zlib.h>

#include <utility>

namespace quorvel {
namespace {

const uint32_t kOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

uint32_t extra_bits(uint32_t code_length_symbol) {
  return code_length_symbol == 16   ? 2
         : code_length_symbol == 17 ? 3
         : code_length_symbol == 18 ? 7
                                    : 0;
}

}  // namespace

std::vector<uint32_t> canonical_codes(const std::vector<uint8_t>& lengths) {
  uint32_t count[16] = {};
  for (uint8_t length : lengths) ++count[length];
  count[0] = 0;
  uint32_t next[16] = {};
  for (uint32_t length = 1, code = 0; length < 16; ++length) {
    code = (code + count[length - 1]) << 1;
    next[length] = code;
  }
  std::vector<uint32_t> codes(lengths.size(), 0);
  for (size_t s = 0; s < lengths.size(); ++s) {
    if (lengths[s] != 0) codes[s] = next[lengths[s]]++;
  }
  return codes;
}

void DeflateStreamWriter::bits(uint32_t value, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) {
    if (pending_bits_ == 0) bytes_.push_back(0);
    bytes_.back() = static_cast<uint8_t>(bytes_.back() | ((value >> i) & 1u) << pending_bits_);
    pending_bits_ = (pending_bits_ + 1) & 7u;
  }
}

void DeflateStreamWriter::code(uint32_t value, uint32_t length) {
  for (uint32_t i = length; i > 0; --i) bits((value >> (i - 1)) & 1u, 1);
}

void DeflateStreamWriter::align() {
  pending_bits_ = 0;
}

void DeflateStreamWriter::zlib_header(uint8_t cmf, uint8_t flg) {
  byte(cmf);
  byte(flg);
}

void DeflateStreamWriter::block_header(bool final, uint32_t type) {
  bits(final ? 1 : 0, 1);  // BFINAL
  bits(type, 2);           // BTYPE
}

void DeflateStreamWriter::stored_body(const std::vector<uint8_t>& data, uint32_t nlen) {
  align();
  bits(static_cast<uint32_t>(data.size()), 16);  // LEN
  bits(nlen, 16);                                // NLEN
  for (uint8_t value : data) byte(value);
}

void DeflateStreamWriter::stored_body(const std::vector<uint8_t>& data) {
  stored_body(data, ~static_cast<uint32_t>(data.size()) & 0xFFFFu);
}

void DeflateStreamWriter::fixed_symbol(uint32_t symbol) {
  static const std::vector<uint8_t> lengths = [] {
    std::vector<uint8_t> fixed(288);
    for (uint32_t s = 0; s < 288; ++s) fixed[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
    return fixed;
  }();
  static const std::vector<uint32_t> codes = canonical_codes(lengths);
  code(codes[symbol], lengths[symbol]);
}

void DeflateStreamWriter::fixed_body(const std::vector<uint32_t>& symbols) {
  for (uint32_t symbol : symbols) fixed_symbol(symbol);
  fixed_symbol(256);  // end of block
}

void DeflateStreamWriter::dynamic_body(const std::vector<uint8_t>& literal,
                                       const std::vector<uint8_t>& distance,
                                       const std::vector<uint32_t>& symbols) {
  std::vector<uint8_t> code_length_lengths(19, 4);
  code_length_lengths[16] = code_length_lengths[17] = code_length_lengths[18] = 0;
  std::vector<std::pair<uint32_t, uint32_t>> length_symbols;
  for (uint8_t length : literal) length_symbols.emplace_back(length, 0);
  for (uint8_t length : distance) length_symbols.emplace_back(length, 0);
  dynamic_header(static_cast<uint32_t>(literal.size()), static_cast<uint32_t>(distance.size()),
                 code_length_lengths, length_symbols);
  const std::vector<uint32_t> codes = canonical_codes(literal);
  for (uint32_t symbol : symbols) code(codes[symbol], literal[symbol]);
  code(codes[256], literal[256]);  // end of block
}

void DeflateStreamWriter::dynamic_header(
    uint32_t literal_count, uint32_t distance_count,
    const std::vector<uint8_t>& code_length_lengths,
    const std::vector<std::pair<uint32_t, uint32_t>>& length_symbols) {
  bits(literal_count - 257, 5);  // HLIT
  bits(distance_count - 1, 5);   // HDIST
  bits(19 - 4, 4);               // HCLEN: all 19 code-length code lengths follow
  for (uint32_t symbol : kOrder) bits(code_length_lengths[symbol], 3);
  const std::vector<uint32_t> codes = canonical_codes(code_length_lengths);
  for (const auto& [symbol, extra] : length_symbols) {
    code(codes[symbol], code_length_lengths[symbol]);
    bits(extra, extra_bits(symbol));
  }
}

void DeflateStreamWriter::trailer(const std::vector<uint8_t>& data) {
  align();
  const auto adler = static_cast<uint32_t>(
      adler32(adler32(0, nullptr, 0), data.data(), static_cast<uInt>(data.size())));
  for (int shift = 24; shift >= 0; shift -= 8) byte(static_cast<uint8_t>(adler >> shift));
}

}  // namespace quorvel
