// Test-side bit writer, independent of the codec's own: builds payloads from strings of
// '0' and '1' (anything else, such as spaces, is ignored), MSB first, zero padded, so each
// field of a hand-made stream can be written and commented on its own.
#ifndef QUORVEL_TESTS_FANO_BIT_STRING_H_
#define QUORVEL_TESTS_FANO_BIT_STRING_H_

#include <cstdint>
#include <string>
#include <vector>

namespace quorvel {

inline std::vector<uint8_t> bytes_from_bits(const std::string& bits) {
  std::vector<uint8_t> bytes;
  size_t count = 0;
  for (char c : bits) {
    if (c != '0' && c != '1') continue;
    if (count % 8 == 0) bytes.push_back(0);
    if (c == '1') bytes.back() = static_cast<uint8_t>(bytes.back() | (0x80u >> (count % 8)));
    ++count;
  }
  return bytes;
}

// The low `count` bits of value, most significant first.
inline std::string bits_of(uint32_t value, int count) {
  std::string bits;
  for (int bit = count - 1; bit >= 0; --bit) bits += ((value >> bit) & 1u) ? '1' : '0';
  return bits + ' ';
}

// A leaf field: bit 1, then the value in 8 bits.
inline std::string leaf(uint8_t value) {
  return "1 " + bits_of(value, 8);
}

inline size_t bit_count(const std::string& bits) {
  size_t count = 0;
  for (char c : bits) count += (c == '0' || c == '1') ? 1 : 0;
  return count;
}

}  // namespace quorvel

#endif  // QUORVEL_TESTS_FANO_BIT_STRING_H_
