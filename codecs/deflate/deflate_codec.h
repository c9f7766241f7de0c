// DeflateCodec: the codec of type 4. Filters the frame with VerticalDelta::forward, in
// place, then compresses its n = rows * pitch bytes into one zlib stream of literals only
// (no matches, as zlib's Huffman-only mode writes; DeflateLiteralEncoder) and appends the
// stream's Adler-32 once more. Decoding inflates with the build's StreamInflater: a decoder
// of our own for literal-only streams first, then libdeflate where it is packaged or zlib
// otherwise for any other stream; the bytes are the same either way.
//
// Payload: the zlib stream of length L (header 78 01, deflate blocks, Adler-32 of the
// filtered bytes most significant byte first), then the same Adler-32 least significant
// byte first; L + 4 bytes. encode() and decode() hand out a block of the codec's
// (output_not_owned = 0) that the caller gives back with release_output().
#ifndef QUORVEL_CODECS_DEFLATE_DEFLATE_CODEC_H_
#define QUORVEL_CODECS_DEFLATE_DEFLATE_CODEC_H_

#include <zlib.h>  // the Z_ codes of last_result

#include <cstdint>
#include <memory>

#include "codecs/deflate/deflate_literal_encoder.h"
#include "codecs/deflate/stream_inflater.h"
#include "codecs/frame_codec.h"

namespace quorvel {

class DeflateCodec : public FrameCodec {
 public:
  // Returns a codec with its inflater and encoder tables allocated, or null when they
  // cannot be allocated.
  static std::unique_ptr<DeflateCodec> create();

  // Releases the inflater and the encoder (nothing of a stream outlives decode); the last
  // output block stays the caller's.
  ~DeflateCodec() override;

  // Filters the frame in place and compresses it into a block of output_block_size(n)
  // bytes, never writing past it; returns L + 4. Returns 0 with a null output_buffer,
  // leaving the frame as it was, when rows * pitch is not a positive 32-bit length, when
  // the block would not fit one, or when it cannot be allocated.
  int32_t encode(uint8_t* frame, int32_t row_bytes, int32_t rows, int32_t pitch) override;

  // Inflates payload_len - 4 bytes (the appended checksum copy is not read) into a block
  // of n = rows * pitch bytes, never writing past it nor reading past payload_len; bytes
  // that the stream does not fill are zero. Runs VerticalDelta::inverse over the whole block
  // and returns n, whatever the stream held (a payload shorter than 4 bytes gives an
  // all-zero frame). Returns 0 with a null output_buffer when n is not a positive 32-bit
  // length, the payload is null, or the block cannot be allocated.
  int32_t decode(const uint8_t* payload, int32_t row_bytes, int32_t rows, int32_t pitch,
                 int32_t payload_len) override;

  // Size of the block encode() allocates for n input bytes: the longest stream that n bytes
  // can give (DeflateLiteralEncoder::max_stream_bytes: n, 5 bytes per 21,845-byte chunk, 6
  // of header and trailer), plus the 4 appended bytes, which also give the encoder's bit
  // writer the spare room its last store needs; 0 when that does not fit a 32-bit signed
  // length.
  static int32_t output_block_size(int32_t n);

  // The longest payload a literal-only deflate encoder gives for n bytes, ours or zlib's
  // Huffman-only mode (which other servers use): what a client accepts.
  static int64_t max_payload_size(int64_t n);

  // The decoder state of decode(), owned by the codec; nothing of one stream is used for
  // the next.
  std::unique_ptr<StreamInflater> inflater;

  // The encoder and its tables, owned by the codec; nothing of one frame is used for the
  // next.
  std::unique_ptr<DeflateLiteralEncoder> encoder;

  // zlib's code for the last stream decoded: Z_STREAM_END after a complete stream whose
  // trailer matched; otherwise what zlib's inflate() returned for it, or its set-up when
  // that failed (InflateOutcome::status). encode() leaves it as it was.
  int last_result = Z_OK;

 private:
  DeflateCodec(std::unique_ptr<StreamInflater> stream_inflater,
               std::unique_ptr<DeflateLiteralEncoder> literal_encoder);
};

}  // namespace quorvel

#endif  // QUORVEL_CODECS_DEFLATE_DEFLATE_CODEC_H_
