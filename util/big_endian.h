// Big-endian integer access on byte pointers: the prefix-code stream is read and written most
// significant bit first, and the deflate payload ends in a big-endian Adler-32. Where the
// compiler knows the byte order, one unaligned load or store and a byte swap.
#ifndef QUORVEL_UTIL_BIG_ENDIAN_H_
#define QUORVEL_UTIL_BIG_ENDIAN_H_

#include <cstdint>
#include <cstring>

#if defined(__GNUC__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
#define QUORVEL_BYTE_SWAP_LOADS 1
#else
#define QUORVEL_BYTE_SWAP_LOADS 0
#endif

namespace quorvel {

inline uint32_t get_be32(const uint8_t* in) {
#if QUORVEL_BYTE_SWAP_LOADS
  uint32_t word;
  std::memcpy(&word, in, sizeof word);
  return __builtin_bswap32(word);
#else
  return static_cast<uint32_t>(in[0]) << 24 | static_cast<uint32_t>(in[1]) << 16 |
         static_cast<uint32_t>(in[2]) << 8 | static_cast<uint32_t>(in[3]);
#endif
}

inline uint64_t get_be64(const uint8_t* in) {
#if QUORVEL_BYTE_SWAP_LOADS
  uint64_t word;
  std::memcpy(&word, in, sizeof word);
  return __builtin_bswap64(word);
#else
  return static_cast<uint64_t>(get_be32(in)) << 32 | get_be32(in + 4);
#endif
}

inline void put_be32(uint8_t* out, uint32_t value) {
#if QUORVEL_BYTE_SWAP_LOADS
  value = __builtin_bswap32(value);
  std::memcpy(out, &value, sizeof value);
#else
  out[0] = static_cast<uint8_t>(value >> 24);
  out[1] = static_cast<uint8_t>(value >> 16);
  out[2] = static_cast<uint8_t>(value >> 8);
  out[3] = static_cast<uint8_t>(value);
#endif
}

inline void put_be64(uint8_t* out, uint64_t value) {
#if QUORVEL_BYTE_SWAP_LOADS
  value = __builtin_bswap64(value);
  std::memcpy(out, &value, sizeof value);
#else
  put_be32(out, static_cast<uint32_t>(value >> 32));
  put_be32(out + 4, static_cast<uint32_t>(value));
#endif
}

}  // namespace quorvel

#endif  // QUORVEL_UTIL_BIG_ENDIAN_H_
