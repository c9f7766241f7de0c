// The choice of codec for a client's compression mask: bit 4 (deflate) first, then 2 (the
// prefix code), then 1 (LZO). The other bits are not looked at.
#ifndef QUORVEL_WIRE_COMPRESSION_SELECTION_H_
#define QUORVEL_WIRE_COMPRESSION_SELECTION_H_

#include <cstdint>

#include "wire/compression_type.h"

namespace quorvel {

// kCompressionNone when the mask names none of the three codecs: the codec in force stays.
CompressionType select_compression(uint8_t mask);

}  // namespace quorvel

#endif  // QUORVEL_WIRE_COMPRESSION_SELECTION_H_
