#include <libdeflate.h>

#include "codecs/deflate/adler32.h"

namespace quorvel {

uint32_t adler32_update(uint32_t adler, const uint8_t* bytes, size_t n) {
  return libdeflate_adler32(adler, bytes, n);
}

}  // namespace quorvel
