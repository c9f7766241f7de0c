// FrameDecoder: turns a checked frame payload back into the packed YUY2 frame, through the
// codec that the payload's compression names. Each kind of codec is made when first needed
// and kept, with the blocks it decodes into, so a run allocates nothing per frame. The
// fetch decodes on a thread of its own, so the decoder keeps no state of the connection.
#ifndef QUORVEL_CLIENT_FRAME_DECODER_H_
#define QUORVEL_CLIENT_FRAME_DECODER_H_

#include <cstdint>
#include <memory>
#include <string>

#include "codecs/frame_codec.h"
#include "wire/compression_type.h"
#include "wire/protocol.h"

namespace quorvel::client {

enum class DecodeResult {
  kOk,
  kNoDecoder,  // no codec for the compression could be made (out of memory)
  kMalformed,  // the payload does not rebuild a frame of the record's size
};

class FrameDecoder {
 public:
  // Decodes the record's payload_size bytes at payload into a frame of record.rows *
  // record.pitch bytes. On kOk, frame() points at it until release() or the next decode().
  // REQUIRES: the record was checked against the stream (size, compression, payload size).
  DecodeResult decode(const FrameInfoRecord& record, const uint8_t* payload);
  const uint8_t* frame() const { return frame_; }
  // Gives the decoded frame's block back to its codec.
  void release();

  // The user's message for a decode that did not give kOk.
  static std::string problem(const FrameInfoRecord& record, DecodeResult result);

 private:
  FrameCodec* codec_for(int32_t compression);

  std::unique_ptr<FrameCodec> codecs_[kCompressionDeflate + 1];
  FrameCodec* holder_ = nullptr;  // the codec whose block frame_ is
  const uint8_t* frame_ = nullptr;
};

// Name of a CompressionType for messages ("none", "lzo", "fano", "deflate").
const char* compression_name(int32_t compression);

}  // namespace quorvel::client

#endif  // QUORVEL_CLIENT_FRAME_DECODER_H_
