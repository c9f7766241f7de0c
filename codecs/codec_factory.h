// Creates the codec for a CompressionType, as the session does at accept and on a
// client's compression request.
#ifndef QUORVEL_CODECS_CODEC_FACTORY_H_
#define QUORVEL_CODECS_CODEC_FACTORY_H_

#include <memory>

#include "codecs/frame_codec.h"
#include "wire/compression_type.h"

namespace quorvel {

// Returns a new codec of the given type, or null when the type is unknown or the codec
// (or its work area) cannot be allocated.
std::unique_ptr<FrameCodec> make_codec(CompressionType type);

// Initialises the compression libraries; the session calls it once per accepted client,
// before any compressing codec exists.
void init_codec_libraries();

}  // namespace quorvel

#endif  // QUORVEL_CODECS_CODEC_FACTORY_H_
