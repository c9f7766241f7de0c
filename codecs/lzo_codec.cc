#include "codecs/lzo_codec.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "codecs/lzo_api.h"
#include "codecs/lzo_expand.h"
#include "codecs/vertical_delta.h"
#include "util/input_check.h"

namespace quorvel {

std::unique_ptr<LzoCodec> LzoCodec::create() {
  auto* work = static_cast<uint8_t*>(std::malloc(LZO1X_1_MEM_COMPRESS));
  if (work == nullptr) return nullptr;
  std::unique_ptr<LzoCodec> codec(new (std::nothrow) LzoCodec(work));
  if (codec == nullptr) std::free(work);
  return codec;
}

LzoCodec::LzoCodec(uint8_t* work) : FrameCodec(kCompressionLzo), work_area(work) {}

LzoCodec::~LzoCodec() {
  std::free(work_area);
}

int32_t LzoCodec::output_block_size(int32_t n) {
  // lzo1x_1_compress does not check its output bound, so the block must hold the worst
  // case that LZO documents for incompressible input.
  const int64_t worst = max_payload_size(n);
  return worst > INT32_MAX ? 0 : static_cast<int32_t>(worst);
}

int32_t LzoCodec::encode(uint8_t* frame, int32_t row_bytes, int32_t rows, int32_t pitch) {
  output_not_owned = false;
  output_buffer = nullptr;
  const int32_t n = frame_bytes(rows, pitch);
  const int32_t block_size = n > 0 ? output_block_size(n) : 0;
  if (block_size == 0) return 0;
  // The block is allocated before the frame is filtered, so a frame that cannot be
  // compressed is handed back unchanged.
  output_buffer = take_block(static_cast<size_t>(block_size));
  if (output_buffer == nullptr) return 0;

  VerticalDelta::forward(frame, row_bytes, rows, pitch);
  lzo_uint out_len = 0;
  last_result =
      lzo1x_1_compress(frame, static_cast<lzo_uint>(n), output_buffer, &out_len, work_area);
  return static_cast<int32_t>(out_len);
}

// The streams lzo1x_expand declines, all of them broken or odd: liblzo2 says what they hold,
// so the bytes and the status a client gets for them are liblzo2's. Returns the bytes it
// produced.
size_t LzoCodec::decode_with_liblzo2(const uint8_t* payload, int32_t payload_len, int32_t n) {
  // lzo1x_expand may have written anywhere in the block.
  std::memset(output_buffer, 0, static_cast<size_t>(n));
  // The safe decompressor stops at the preset out-length (the block's size) and at the end
  // of the payload, whatever the payload says.
  lzo_uint out_len = static_cast<lzo_uint>(n);
  last_result = lzo1x_decompress_safe(payload, static_cast<lzo_uint>(payload_len), output_buffer,
                                      &out_len, nullptr);
  if (!QUORVEL_INPUT_OK(out_len <= static_cast<lzo_uint>(n))) out_len = static_cast<lzo_uint>(n);
  return out_len;
}

int32_t LzoCodec::decode(const uint8_t* payload, int32_t row_bytes, int32_t rows, int32_t pitch,
                         int32_t payload_len) {
  output_not_owned = false;
  output_buffer = nullptr;
  const int32_t n = frame_bytes(rows, pitch);
  if (!QUORVEL_INPUT_OK(n > 0 && payload != nullptr && payload_len >= 0)) return 0;
  output_buffer = take_block(static_cast<size_t>(n));
  if (output_buffer == nullptr) return 0;

  size_t out_len = 0;
  if (lzo1x_expand(payload, static_cast<size_t>(payload_len), output_buffer, static_cast<size_t>(n),
                   &out_len)) {
    last_result = LZO_E_OK;
  } else {
    out_len = decode_with_liblzo2(payload, payload_len, n);
  }
  // A short or broken payload leaves part of the block unwritten: zeros there keep the
  // result independent of what the heap held.
  std::memset(output_buffer + out_len, 0, static_cast<size_t>(n) - out_len);
  VerticalDelta::inverse(output_buffer, row_bytes, rows, pitch);
  return static_cast<int32_t>(out_len);
}

}  // namespace quorvel
