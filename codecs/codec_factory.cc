#include "codecs/codec_factory.h"

#include <new>

#include "codecs/deflate/deflate_codec.h"
#include "codecs/fano/fano_codec.h"
#include "codecs/lzo_api.h"
#include "codecs/lzo_codec.h"

namespace quorvel {

std::unique_ptr<FrameCodec> make_codec(CompressionType type) {
  switch (type) {
    case kCompressionNone:
      return std::unique_ptr<FrameCodec>(new (std::nothrow) RawCodec());
    case kCompressionLzo:
      return LzoCodec::create();
    case kCompressionFano:
      return std::unique_ptr<FrameCodec>(new (std::nothrow) FanoCodec());
    case kCompressionDeflate:
      return DeflateCodec::create();
    default:
      return nullptr;
  }
}

void init_codec_libraries() {
  // The result is not looked at: a library that fails its self-check is no reason to refuse
  // a client that may never ask for LZO.
  (void)lzo_init();
}

}  // namespace quorvel
