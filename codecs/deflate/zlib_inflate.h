// inflate_zlib_stream: one zlib stream inflated with zlib into a block of fixed size, in a
// single inflate(Z_FINISH) call. The decoder the deflate codec has always had, kept as the
// whole decoder where no faster one is built and as the one that decides refusals.
#ifndef QUORVEL_CODECS_DEFLATE_ZLIB_INFLATE_H_
#define QUORVEL_CODECS_DEFLATE_ZLIB_INFLATE_H_

#include <zlib.h>

#include <cstddef>
#include <cstdint>

namespace quorvel {

struct InflateOutcome {
  // zlib's code for the stream: Z_STREAM_END when it was complete, its trailer matched and
  // it fitted the block; otherwise what inflate() (or inflateInit(), when that failed)
  // returned.
  int status;
  // Bytes written to the front of the block; the rest of it is untouched.
  size_t produced;
};

// Inflates the stream of stream_length bytes into capacity bytes at out, never reading or
// writing past either. Bytes after the stream's trailer are not read. record is cleared,
// set up and ended here; it holds nothing between calls.
InflateOutcome inflate_zlib_stream(z_stream* record, const uint8_t* stream, uint32_t stream_length,
                                   uint8_t* out, uint32_t capacity);

}  // namespace quorvel

#endif  // QUORVEL_CODECS_DEFLATE_ZLIB_INFLATE_H_
