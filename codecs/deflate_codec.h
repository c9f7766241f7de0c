// DeflateCodec: the codec of type 4. Filters the frame with VerticalDelta::forward, in place, then
// compresses its n = rows * pitch bytes into one zlib stream (level 1, Huffman-only: literals only,
// no matches) and appends the stream's Adler-32 once more.
//
// Payload: the zlib stream of length L (header 78 01, deflate blocks, Adler-32 of the filtered
// bytes most significant byte first), then the same Adler-32 least significant byte first; L + 4
// bytes. encode() and decode() hand out a block of the codec's (output_not_owned = 0) that the
// caller gives back with release_output().
#ifndef QUORVEL_CODECS_DEFLATE_CODEC_H_
#define QUORVEL_CODECS_DEFLATE_CODEC_H_

#include <zlib.h>

#include <cstdint>
#include <memory>

#include "codecs/frame_codec.h"

namespace quorvel {

class DeflateCodec : public FrameCodec {
 public:
  // Returns a codec with its stream record allocated, or null when it cannot be allocated.
  static std::unique_ptr<DeflateCodec> create();

  // Releases the stream record only (every stream is ended before encode/decode return);
  // the last output block stays the caller's.
  ~DeflateCodec() override;

  // Filters the frame in place and compresses it into a new block that holds the stream and
  // its appended checksum for any frame size; returns L + 4. Returns 0 with a null
  // output_buffer, leaving the frame as it was, when rows * pitch is not a positive 32-bit
  // length, when the block would not fit one, or when it cannot be allocated or zlib
  // cannot set up its stream.
  int32_t encode(uint8_t* frame, int32_t row_bytes, int32_t rows, int32_t pitch) override;

  // Inflates payload_len - 4 bytes (the appended checksum copy is not read) into a new block
  // of n = rows * pitch bytes, never writing past it nor reading past payload_len; bytes
  // that the stream does not fill are zero. Runs VerticalDelta::inverse over the whole block
  // and returns n, whatever the stream held (a payload shorter than 4 bytes gives an
  // all-zero frame). Returns 0 with a null output_buffer when n is not a positive 32-bit
  // length, the payload is null, or the block cannot be allocated.
  int32_t decode(const uint8_t* payload, int32_t row_bytes, int32_t rows, int32_t pitch,
                 int32_t payload_len) override;

  // The largest payload encode() makes of n input bytes: the largest zlib stream that n
  // bytes can give, plus the 4 appended bytes.
  static int64_t max_payload_size(int64_t n);
  // Size of the block encode() allocates for n input bytes: max_payload_size(n), or 0 when
  // that does not fit a 32-bit signed length.
  static int32_t output_block_size(int32_t n);

  // The zlib stream record, owned by the codec; cleared and set up afresh by every call.
  z_stream* work_area;

  // Result of the last deflate() or inflate() (Z_STREAM_END after a complete stream), or of
  // the stream set-up when that failed.
  int last_result = Z_OK;

 private:
  explicit DeflateCodec(z_stream* stream);
};

}  // namespace quorvel

#endif  // QUORVEL_CODECS_DEFLATE_CODEC_H_
