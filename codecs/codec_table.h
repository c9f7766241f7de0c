// The codecs, one row each: the type id that frame replies carry (and, as a bit, compression
// masks), the names users type and reports print, the longest payload the format gives for
// a frame (what a client accepts before it allocates), and the factory. Every list of the
// codecs in the tree is this table.
#ifndef QUORVEL_CODECS_CODEC_TABLE_H_
#define QUORVEL_CODECS_CODEC_TABLE_H_

#include <cstdint>
#include <memory>

#include "codecs/frame_codec.h"
#include "wire/compression_type.h"

namespace quorvel {

struct CodecRow {
  CompressionType type;
  const char* name;        // as typed: "none", "lzo", "fano", "deflate"
  const char* class_name;  // "RawCodec", ...
  const char* words;       // for prose: "raw", "LZO", "prefix code", "deflate"
  // The longest payload for n frame bytes.
  int64_t (*max_payload_size)(int64_t n);
  // A new codec, or null when it (or its work area) cannot be allocated.
  std::unique_ptr<FrameCodec> (*create)();
};

// In the order of their type ids: the raw codec first, then the compressing ones.
extern const CodecRow kCodecTable[4];

// The row of a type id; null for an id that names no codec.
const CodecRow* codec_row(int32_t type);

}  // namespace quorvel

#endif  // QUORVEL_CODECS_CODEC_TABLE_H_
