#include "codecs/codec_table.h"

#include <new>

#include "codecs/deflate/deflate_codec.h"
#include "codecs/fano/fano_codec.h"
#include "codecs/lzo_codec.h"

namespace quorvel {

const CodecRow kCodecTable[4] = {
    {kCompressionNone, "none", "RawCodec", "raw", [](int64_t n) { return n; },
     []() -> std::unique_ptr<FrameCodec> {
       return std::unique_ptr<FrameCodec>(new (std::nothrow) RawCodec());
     }},
    {kCompressionLzo, "lzo", "LzoCodec", "LZO", LzoCodec::max_payload_size,
     []() -> std::unique_ptr<FrameCodec> { return LzoCodec::create(); }},
    {kCompressionFano, "fano", "FanoCodec", "prefix code", FanoCodec::max_payload_size,
     []() -> std::unique_ptr<FrameCodec> {
       return std::unique_ptr<FrameCodec>(new (std::nothrow) FanoCodec());
     }},
    {kCompressionDeflate, "deflate", "DeflateCodec", "deflate", DeflateCodec::max_payload_size,
     []() -> std::unique_ptr<FrameCodec> { return DeflateCodec::create(); }},
};

const CodecRow* codec_row(int32_t type) {
  for (const CodecRow& row : kCodecTable) {
    if (row.type == type) return &row;
  }
  return nullptr;
}

}  // namespace quorvel
