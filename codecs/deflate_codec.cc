#include "codecs/deflate_codec.h"

#include <cstdlib>
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
  auto* stream = static_cast<z_stream*>(std::malloc(sizeof(z_stream)));
  if (stream == nullptr) return nullptr;
  std::unique_ptr<DeflateCodec> codec(new (std::nothrow)
                                          DeflateCodec(stream, std::move(literal_encoder)));
  if (codec == nullptr) std::free(stream);
  return codec;
}

DeflateCodec::DeflateCodec(z_stream* stream, std::unique_ptr<DeflateLiteralEncoder> literal_encoder)
    : FrameCodec(kCompressionDeflate), work_area(stream), encoder(std::move(literal_encoder)) {}

DeflateCodec::~DeflateCodec() {
  std::free(work_area);
}

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
  // checked by inflate.
  const int32_t stream_len =
      QUORVEL_INPUT_OK(payload_len >= kChecksumCopyBytes) ? payload_len - kChecksumCopyBytes : 0;
  z_stream& stream = *work_area;
  std::memset(&stream, 0, sizeof(stream));
  uLong produced = 0;
  last_result = inflateInit(&stream);
  if (last_result == Z_OK) {
    stream.next_in = const_cast<Bytef*>(payload);  // zlib's input pointer is not const
    stream.avail_in = static_cast<uInt>(stream_len);
    stream.next_out = output_buffer;
    stream.avail_out = static_cast<uInt>(n);
    last_result = inflate(&stream, Z_FINISH);
    produced = stream.total_out;
    inflateEnd(&stream);
  }
  std::memset(output_buffer + produced, 0, static_cast<size_t>(n) - produced);
  VerticalDelta::inverse(output_buffer, row_bytes, rows, pitch);
  return n;
}

}  // namespace quorvel
