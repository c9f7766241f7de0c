// FanoCodec: the codec of type 2. Filters the frame with VerticalDelta::forward, in place, then
// codes its n = rows * pitch bytes with a prefix code built for this frame alone.
//
// Payload: one MSB-first bit stream with no header (fano_format.h): the code tree, the codes of the
// n filtered bytes in frame order, zero padding to a whole byte. encode() and decode() hand out a
// block of the codec's (output_not_owned = 0) that the caller gives back with release_output().
#ifndef QUORVEL_CODECS_FANO_FANO_CODEC_H_
#define QUORVEL_CODECS_FANO_FANO_CODEC_H_

#include <cstdint>
#include <memory>

#include "codecs/fano/fano_pair_code_table.h"
#include "codecs/frame_codec.h"

namespace quorvel {

class FanoCodec : public FrameCodec {
 public:
  FanoCodec() : FrameCodec(kCompressionFano) {}
  ~FanoCodec() override = default;  // the last output block stays the caller's

  // Filters the frame in place and writes its stream into a new block of exactly the
  // stream's length, which the count table gives before any code is written; returns that
  // length. Returns 0 with a null output_buffer, leaving the frame as it was, when
  // rows * pitch is not a positive 32-bit length. Returns 0 with a null output_buffer after
  // filtering when the code would need more than 32 bits for a value, when the stream would
  // not fit a 32-bit signed length, or when the block or the pair table cannot be allocated.
  int32_t encode(uint8_t* frame, int32_t row_bytes, int32_t rows, int32_t pitch) override;

  // Decodes into a new block of n = rows * pitch bytes, never reading past payload_len nor
  // writing past the block; bytes the payload does not fill (a rejected tree, a payload
  // that ends early, positions without a code) are zero. Runs VerticalDelta::inverse over
  // the whole block and returns n. Returns 0 with a null output_buffer when n is not a
  // positive 32-bit length, or the block cannot be allocated. (fano_expand's result says
  // what became of a payload; the interface has no room for it.)
  int32_t decode(const uint8_t* payload, int32_t row_bytes, int32_t rows, int32_t pitch,
                 int32_t payload_len) override;

  // The longest type-2 payload of a frame of n bytes: the largest tree and n codes of the
  // longest length allowed, in whole bytes.
  static int64_t max_payload_size(int64_t n);

 private:
  // The writer's work area, allocated on the first encode and rebuilt for every frame.
  std::unique_ptr<FanoPairCodeTable> pair_codes_;
};

}  // namespace quorvel

#endif  // QUORVEL_CODECS_FANO_FANO_CODEC_H_
