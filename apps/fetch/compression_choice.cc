#include "apps/fetch/compression_choice.h"

#include "codecs/codec_factory.h"

namespace quorvel::client {

bool can_decode(int32_t compression) {
  return make_codec(static_cast<CompressionType>(compression)) != nullptr;
}

bool choose_compression(const std::string& name, CompressionChoice* choice, std::string* problem) {
  struct Named {
    const char* name;
    CompressionType type;
  };
  static const Named kCodecs[] = {
      {"lzo", kCompressionLzo}, {"fano", kCompressionFano}, {"deflate", kCompressionDeflate}};
  if (name == "none") {
    *choice = {false, 0};
    return true;
  }
  if (name == "auto") {
    uint8_t mask = 0;
    for (const Named& codec : kCodecs) {
      if (can_decode(codec.type)) mask = static_cast<uint8_t>(mask | codec.type);
    }
    *choice = {mask != 0, mask};
    return true;
  }
  for (const Named& codec : kCodecs) {
    if (name != codec.name) continue;
    if (!can_decode(codec.type)) {
      *problem = "this build cannot decode " + name + " frames (codec not available)";
      return false;
    }
    *choice = {true, static_cast<uint8_t>(codec.type)};
    return true;
  }
  *problem = "unknown compression '" + name + "' (none, lzo, fano, deflate or auto)";
  return false;
}

}  // namespace quorvel::client
