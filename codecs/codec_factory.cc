#include "codecs/codec_factory.h"

#include "codecs/codec_table.h"
#include "codecs/lzo_api.h"

namespace quorvel {

std::unique_ptr<FrameCodec> make_codec(CompressionType type) {
  const CodecRow* row = codec_row(type);
  return row != nullptr ? row->create() : nullptr;
}

void init_codec_libraries() {
  // The result is not looked at: a library that fails its self-check is no reason to refuse
  // a client that may never ask for LZO.
  (void)lzo_init();
}

}  // namespace quorvel
