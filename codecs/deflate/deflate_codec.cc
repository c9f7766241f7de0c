#include "codecs/deflate/deflate_codec.h"

#include <cstring>
#include <new>
#include <utility>

#include "codecs/vertical_delta.h"
#include "util/input_check.h"
#include "util/little_endian.h"

namespace quorvel {
namespace {

constexpr int32_t kChecksumCopyBytes = 4;

// The checksum copy follows the stream, so the block has room for the encoder's last store.
static_assert(DeflateLiteralEncoder::kSpareBytes <= kChecksumCopyBytes,
              "the checksum copy must cover the bit writer's spare room");

}  // namespace

std::unique_ptr<DeflateCodec> DeflateCodec::create() {
  std::unique_ptr<DeflateLiteralEncoder> literal_encoder = DeflateLiteralEncoder::create();
  if (literal_encoder == nullptr) return nullptr;
  std::unique_ptr<StreamInflater> stream_inflater = StreamInflater::create();
  if (stream_inflater == nullptr) return nullptr;
  return std::unique_ptr<DeflateCodec>(
      new (std::nothrow) DeflateCodec(std::move(stream_inflater), std::move(literal_encoder)));
}

DeflateCodec::DeflateCodec(std::unique_ptr<StreamInflater> stream_inflater,
                           std::unique_ptr<DeflateLiteralEncoder> literal_encoder)
    : FrameCodec(kCompressionDeflate),
      inflater(std::move(stream_inflater)),
      encoder(std::move(literal_encoder)) {}

DeflateCodec::~DeflateCodec() = default;

int64_t DeflateCodec::max_payload_size(int64_t n) {
  // zlib's bound on the deflate data of n bytes under any settings (n + n / 8 + n / 64 + 5),
  // its 6 bytes of header and trailer, and the checksum copy; our encoder stays below it.
  return n + (n + 7) / 8 + (n + 63) / 64 + 5 + 6 + kChecksumCopyBytes;
}

int32_t DeflateCodec::output_block_size(int32_t n) {
  if (n < 0) return 0;
  const uint64_t worst =
      DeflateLiteralEncoder::max_stream_bytes(static_cast<uint32_t>(n)) + kChecksumCopyBytes;
  return worst > INT32_MAX ? 0 : static_cast<int32_t>(worst);
}

int32_t DeflateCodec::encode(uint8_t* frame, int32_t row_bytes, int32_t rows, int32_t pitch) {
  output_not_owned = false;
  output_buffer = nullptr;
  const int32_t n = frame_bytes(rows, pitch);
  const int32_t block_size = n > 0 ? output_block_size(n) : 0;
  if (block_size == 0) return 0;
  uint8_t* block = take_block(static_cast<size_t>(block_size));
  if (block == nullptr) return 0;

  VerticalDelta::forward(frame, row_bytes, rows, pitch);
  const DeflateStream stream =
      encoder->encode(frame, static_cast<uint32_t>(n), block, static_cast<uint64_t>(block_size));
  // The block is sized for the worst case, so the encoder always writes the stream.
  if (stream.bytes == 0) {
    give_back_block(block);
    return 0;
  }
  const auto stream_bytes = static_cast<int32_t>(stream.bytes);
  put_le32(block + stream_bytes, stream.adler);
  output_buffer = block;
  return stream_bytes + kChecksumCopyBytes;
}

int32_t DeflateCodec::decode(const uint8_t* payload, int32_t row_bytes, int32_t rows, int32_t pitch,
                             int32_t payload_len) {
  output_not_owned = false;
  output_buffer = nullptr;
  const int32_t n = frame_bytes(rows, pitch);
  if (!QUORVEL_INPUT_OK(n > 0 && payload != nullptr)) return 0;
  output_buffer = take_block(static_cast<size_t>(n));
  if (output_buffer == nullptr) return 0;

  // The appended checksum copy is not part of the stream; the stream's own trailer is
  // checked by the inflater.
  const int32_t stream_len =
      QUORVEL_INPUT_OK(payload_len >= kChecksumCopyBytes) ? payload_len - kChecksumCopyBytes : 0;
  const InflateOutcome outcome = inflater->inflate(payload, static_cast<uint32_t>(stream_len),
                                                   output_buffer, static_cast<uint32_t>(n));
  last_result = outcome.status;
  std::memset(output_buffer + outcome.produced, 0, static_cast<size_t>(n) - outcome.produced);
  VerticalDelta::inverse(output_buffer, row_bytes, rows, pitch);
  return n;
}

}  // namespace quorvel
