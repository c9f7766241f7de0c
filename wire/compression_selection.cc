#include "wire/compression_selection.h"

namespace quorvel {

CompressionType select_compression(uint8_t mask) {
  if ((mask & kCompressionDeflate) != 0) return kCompressionDeflate;
  if ((mask & kCompressionFano) != 0) return kCompressionFano;
  if ((mask & kCompressionLzo) != 0) return kCompressionLzo;
  return kCompressionNone;
}

}  // namespace quorvel
