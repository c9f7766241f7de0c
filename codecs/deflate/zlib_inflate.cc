#include "codecs/deflate/zlib_inflate.h"

#include <cstring>

namespace quorvel {

InflateOutcome inflate_zlib_stream(z_stream* record, const uint8_t* stream, uint32_t stream_length,
                                   uint8_t* out, uint32_t capacity) {
  std::memset(record, 0, sizeof(*record));
  InflateOutcome outcome{inflateInit(record), 0};
  if (outcome.status != Z_OK) return outcome;
  record->next_in = const_cast<Bytef*>(stream);  // zlib's input pointer is not const
  record->avail_in = static_cast<uInt>(stream_length);
  record->next_out = out;
  record->avail_out = static_cast<uInt>(capacity);
  outcome.status = inflate(record, Z_FINISH);
  outcome.produced = record->total_out;
  inflateEnd(record);
  return outcome;
}

}  // namespace quorvel
