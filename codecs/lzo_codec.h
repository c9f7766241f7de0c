// LzoCodec: the codec of type 1. Filters the frame with VerticalDelta::forward, in place, then
// compresses its n = rows * pitch bytes with the LZO1X-1 compressor.
//
// Payload: one plain LZO1X stream for the whole filtered frame, ending with the end-of-stream
// marker 11 00 00; no header, length or checksum of its own. encode() and decode() hand out a block
// of the codec's (output_not_owned = 0) that the caller gives back with release_output().
#ifndef QUORVEL_CODECS_LZO_CODEC_H_
#define QUORVEL_CODECS_LZO_CODEC_H_

#include <cstddef>
#include <cstdint>
#include <memory>

#include "codecs/frame_codec.h"

namespace quorvel {

class LzoCodec : public FrameCodec {
 public:
  // Returns a codec with its work memory allocated, or null when it cannot be allocated.
  // REQUIRES: init_codec_libraries() has run before the first encode() or decode().
  static std::unique_ptr<LzoCodec> create();

  // Releases the work memory only; the last output block stays the caller's.
  ~LzoCodec() override;

  // Filters the frame in place and compresses it into a new block sized for LZO's worst
  // case; returns the payload length. Returns 0 with a null output_buffer, leaving the
  // frame as it was, when rows * pitch is not a positive 32-bit length, when the worst-case
  // block would not fit one, or when the block cannot be allocated.
  int32_t encode(uint8_t* frame, int32_t row_bytes, int32_t rows, int32_t pitch) override;

  // Decompresses into a new block of n = rows * pitch bytes, never writing past it nor
  // reading past payload_len (with lzo1x_expand, or liblzo2 for a stream it declines); bytes that
  // the payload does not fill are zero. Runs VerticalDelta::inverse over the whole block and
  // returns the number of bytes the decompressor produced (n for a payload that encode() made from
  // a same-sized frame). Returns 0 with a null output_buffer when n is not a positive 32-bit
  // length, the payload is null or negative in length, or the block cannot be allocated.
  int32_t decode(const uint8_t* payload, int32_t row_bytes, int32_t rows, int32_t pitch,
                 int32_t payload_len) override;

  // LZO's documented worst-case output for n input bytes: n + n / 16 + 64 + 3. No LZO1X
  // payload of a frame of n bytes is longer.
  static int64_t max_payload_size(int64_t n) { return n + n / 16 + 64 + 3; }
  // max_payload_size(n), or 0 when that does not fit a 32-bit signed length.
  static int32_t output_block_size(int32_t n);

  // The LZO1X-1 work memory (LZO1X_1_MEM_COMPRESS bytes), owned by the codec.
  uint8_t* work_area;

  // Result code of the last LZO call (LZO_E_OK = 0 after a good one), so callers and tests
  // can see what the interface's lengths do not say.
  int last_result = 0;

 private:
  explicit LzoCodec(uint8_t* work);
  size_t decode_with_liblzo2(const uint8_t* payload, int32_t payload_len, int32_t n);
};

}  // namespace quorvel

#endif  // QUORVEL_CODECS_LZO_CODEC_H_
