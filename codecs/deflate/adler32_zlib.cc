#include <zlib.h>

#include "codecs/deflate/adler32.h"

namespace quorvel {

uint32_t adler32_update(uint32_t adler, const uint8_t* bytes, size_t n) {
  return static_cast<uint32_t>(adler32(adler, bytes, static_cast<uInt>(n)));
}

}  // namespace quorvel
