#include "client/frame_decoder.h"

#include "codecs/codec_factory.h"
#include "codecs/codec_table.h"
#include "util/input_check.h"

namespace quorvel::client {

const char* compression_name(int32_t compression) {
  const CodecRow* row = codec_row(compression);
  return row != nullptr ? row->name : "unknown";
}

FrameCodec* FrameDecoder::codec_for(int32_t compression) {
  if (compression < 0 || compression > kCompressionDeflate) return nullptr;
  std::unique_ptr<FrameCodec>& codec = codecs_[compression];
  if (codec == nullptr) codec = make_codec(static_cast<CompressionType>(compression));
  return codec.get();
}

DecodeResult FrameDecoder::decode(const FrameInfoRecord& record, const uint8_t* payload) {
  release();
  FrameCodec* codec = codec_for(record.compression);
  if (codec == nullptr) return DecodeResult::kNoDecoder;
  const int32_t n = frame_bytes(record.rows, record.pitch);
  const int32_t rebuilt =
      codec->decode(payload, record.row_bytes, record.rows, record.pitch, record.payload_size);
  if (!QUORVEL_INPUT_OK(rebuilt == n && n > 0 && codec->output_buffer != nullptr)) {
    codec->release_output();
    return DecodeResult::kMalformed;
  }
  holder_ = codec;
  frame_ = codec->output_buffer;
  return DecodeResult::kOk;
}

void FrameDecoder::release() {
  if (holder_ != nullptr) holder_->release_output();
  holder_ = nullptr;
  frame_ = nullptr;
}

std::string FrameDecoder::problem(const FrameInfoRecord& record, DecodeResult result) {
  if (result == DecodeResult::kNoDecoder) {
    return std::string("cannot make a decoder for compression ") +
           compression_name(record.compression);
  }
  return "frame " + std::to_string(record.frame_number) + ": the " +
         compression_name(record.compression) + " payload does not decode to a frame";
}

}  // namespace quorvel::client
