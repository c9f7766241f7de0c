// adler32_update: the Adler-32 checksum of a zlib trailer (RFC 1950), carried on over more
// bytes. The build's inflater library computes it: libdeflate's vectorised one where that is
// built (adler32_libdeflate.cc), zlib's otherwise (adler32_zlib.cc).
#ifndef QUORVEL_CODECS_DEFLATE_ADLER32_H_
#define QUORVEL_CODECS_DEFLATE_ADLER32_H_

#include <cstddef>
#include <cstdint>

namespace quorvel {

// The checksum of no bytes.
constexpr uint32_t kAdler32Initial = 1;

// The checksum of the bytes that gave `adler`, followed by the n bytes at bytes.
// REQUIRES: n < 2^32.
uint32_t adler32_update(uint32_t adler, const uint8_t* bytes, size_t n);

}  // namespace quorvel

#endif  // QUORVEL_CODECS_DEFLATE_ADLER32_H_
