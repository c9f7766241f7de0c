#include "apps/fetch/compression_choice.h"

#include "codecs/codec_table.h"

namespace quorvel::client {

namespace {

constexpr char kAuto[] = "auto";

// What auto asks for: the prefix code, else LZO. Measured end to end (encode, 127.0.0.1,
// decode and Y4M) on the benchmark frames, the prefix code is the fastest codec at every
// size and within a few points of deflate's ratio, which is slower at both ends; LZO is
// next fastest. The server answers a mask with its highest codec, so deflate stays out.
constexpr uint8_t kAutoMask = kCompressionFano | kCompressionLzo;

}  // namespace

bool choose_compression(const std::string& name, CompressionChoice* choice, std::string* problem) {
  if (name == kAuto) {
    *choice = {true, kAutoMask};
    return true;
  }
  for (const CodecRow& row : kCodecTable) {
    if (name == row.name) {
      // The raw codec is what a stream starts with: nothing to ask for.
      *choice = {row.type != kCompressionNone, static_cast<uint8_t>(row.type)};
      return true;
    }
  }
  *problem = "unknown compression '" + name + "' (" + compression_choices_text() + ")";
  return false;
}

std::vector<std::string> compression_choices() {
  std::vector<std::string> names;
  for (const CodecRow& row : kCodecTable) names.emplace_back(row.name);
  names.emplace_back(kAuto);
  return names;
}

std::string compression_choices_text() {
  const std::vector<std::string> names = compression_choices();
  std::string text;
  for (size_t i = 0; i < names.size(); ++i) {
    text += i == 0 ? "" : i + 1 == names.size() ? " or " : ", ";
    text += names[i];
  }
  return text;
}

}  // namespace quorvel::client
