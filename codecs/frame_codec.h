// FrameCodec: turns one frame into the payload of a frame reply, and back.
//
// A frame is a pointer to its top row with row_bytes (bytes that carry pixels), rows and
// pitch (row start to row start); it occupies n = rows * pitch bytes. After encode() or
// decode() the caller holds the block at output_buffer until it has used the bytes, then
// gives it back with release_output(), and the codec keeps it for the next frame. When
// output_not_owned is set the block is the caller's own buffer (raw codec) and nothing is
// given back. Destructors release the codec's work area and the blocks it keeps, never a
// block that is out at output_buffer: a caller that keeps one past its codec frees it with
// free_output().
//
// Every block the codec hands out has kOutputHeadroom bytes in front of output_buffer that
// are the caller's to write: the server puts a reply's header and record there, so that
// they go out with the payload in one send.
//
// FrameCodec itself is the pass-through (type 0); RawCodec is a FrameCodec of type 0.
#ifndef QUORVEL_CODECS_FRAME_CODEC_H_
#define QUORVEL_CODECS_FRAME_CODEC_H_

#include <cstddef>
#include <cstdint>

#include "codecs/block_pool.h"
#include "wire/compression_type.h"

namespace quorvel {

class FrameCodec {
 public:
  explicit FrameCodec(int32_t type = kCompressionNone) : type_id(type) {}
  virtual ~FrameCodec() = default;

  FrameCodec(const FrameCodec&) = delete;
  FrameCodec& operator=(const FrameCodec&) = delete;

  // Sets output_buffer and output_not_owned; returns the payload length in bytes.
  // The pass-through hands back the frame itself and returns rows * pitch.
  virtual int32_t encode(uint8_t* frame, int32_t row_bytes, int32_t rows, int32_t pitch);

  // Rebuilds a frame of rows * pitch bytes from payload_len payload bytes; sets
  // output_buffer and output_not_owned and returns the number of frame bytes.
  // The pass-through hands back the payload itself; the caller must not write through it.
  virtual int32_t decode(const uint8_t* payload, int32_t row_bytes, int32_t rows, int32_t pitch,
                         int32_t payload_len);

  // Gives output_buffer back to the codec when it is an owned block, and forgets it either
  // way.
  void release_output();

  // The bytes before an owned output_buffer that belong to its holder; a multiple of 16, so
  // that output_buffer keeps the alignment of malloc's blocks.
  static constexpr size_t kOutputHeadroom = 80;
  // Frees an owned block that its holder kept past the codec; null is ignored.
  static void free_output(uint8_t* output_buffer);

  uint8_t* output_buffer = nullptr;
  const int32_t type_id;
  bool output_not_owned = false;

 protected:
  // The block encode() or decode() hands out, size bytes after kOutputHeadroom: one given
  // back earlier when it is large enough, else a fresh one; null when it cannot be
  // allocated. REQUIRES: 0 < size <= SIZE_MAX - kOutputHeadroom.
  uint8_t* take_block(size_t size);
  // For a block taken but not handed out after all.
  void give_back_block(uint8_t* block);

 private:
  BlockPool blocks_;
};

class RawCodec : public FrameCodec {
 public:
  RawCodec() : FrameCodec(kCompressionNone) {}
};

// n = rows * pitch, the bytes a codec compresses or rebuilds; 0 when rows or pitch is not
// positive or the product does not fit a 32-bit signed length (such frames are refused).
int32_t frame_bytes(int32_t rows, int32_t pitch);

}  // namespace quorvel

#endif  // QUORVEL_CODECS_FRAME_CODEC_H_
