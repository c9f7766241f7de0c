// Little-endian integer access on byte pointers. Every integer on the wire is
// little-endian; records are written field by field with these, never by casting a struct.
// Where the compiler knows the byte order is little-endian, one unaligned load or store
// (the deflate codec's bit readers and writers move 8 bytes at a time through these).
#ifndef QUORVEL_UTIL_LITTLE_ENDIAN_H_
#define QUORVEL_UTIL_LITTLE_ENDIAN_H_

#include <cstdint>
#include <cstring>

#if defined(__GNUC__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
#define QUORVEL_PLAIN_LE_LOADS 1
#else
#define QUORVEL_PLAIN_LE_LOADS 0
#endif

namespace quorvel {

inline void put_le32(uint8_t* out, uint32_t value) {
#if QUORVEL_PLAIN_LE_LOADS
  std::memcpy(out, &value, sizeof value);
#else
  out[0] = static_cast<uint8_t>(value);
  out[1] = static_cast<uint8_t>(value >> 8);
  out[2] = static_cast<uint8_t>(value >> 16);
  out[3] = static_cast<uint8_t>(value >> 24);
#endif
}

inline void put_le64(uint8_t* out, uint64_t value) {
#if QUORVEL_PLAIN_LE_LOADS
  std::memcpy(out, &value, sizeof value);
#else
  put_le32(out, static_cast<uint32_t>(value));
  put_le32(out + 4, static_cast<uint32_t>(value >> 32));
#endif
}

inline uint32_t get_le32(const uint8_t* in) {
#if QUORVEL_PLAIN_LE_LOADS
  uint32_t word;
  std::memcpy(&word, in, sizeof word);
  return word;
#else
  return static_cast<uint32_t>(in[0]) | static_cast<uint32_t>(in[1]) << 8 |
         static_cast<uint32_t>(in[2]) << 16 | static_cast<uint32_t>(in[3]) << 24;
#endif
}

inline uint64_t get_le64(const uint8_t* in) {
#if QUORVEL_PLAIN_LE_LOADS
  uint64_t word;
  std::memcpy(&word, in, sizeof word);
  return word;
#else
  return static_cast<uint64_t>(get_le32(in)) | static_cast<uint64_t>(get_le32(in + 4)) << 32;
#endif
}

inline int32_t get_le32_signed(const uint8_t* in) {
  return static_cast<int32_t>(get_le32(in));
}

}  // namespace quorvel

#endif  // QUORVEL_UTIL_LITTLE_ENDIAN_H_
