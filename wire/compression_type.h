// The codec type ids carried in every frame reply. The same values, as bits, make up
// the client's compression mask.
#ifndef QUORVEL_WIRE_COMPRESSION_TYPE_H_
#define QUORVEL_WIRE_COMPRESSION_TYPE_H_

#include <cstdint>

namespace quorvel {

enum CompressionType : int32_t {
  kCompressionNone = 0,
  kCompressionLzo = 1,
  kCompressionFano = 2,
  kCompressionDeflate = 4,
};

}  // namespace quorvel

#endif  // QUORVEL_WIRE_COMPRESSION_TYPE_H_
