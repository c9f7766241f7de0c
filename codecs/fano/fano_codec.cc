#include "codecs/fano/fano_codec.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "codecs/byte_histogram.h"
#include "codecs/fano/fano_code_builder.h"
#include "codecs/fano/fano_compress.h"
#include "codecs/fano/fano_expand.h"
#include "codecs/vertical_delta.h"
#include "util/input_check.h"

namespace quorvel {

int32_t FanoCodec::encode(uint8_t* frame, int32_t row_bytes, int32_t rows, int32_t pitch) {
  output_not_owned = false;
  output_buffer = nullptr;
  const int32_t n = frame_bytes(rows, pitch);
  if (n == 0) return 0;
  VerticalDelta::forward(frame, row_bytes, rows, pitch);

  const uint32_t length = static_cast<uint32_t>(n);
  uint32_t counts[kFanoSymbolCount];
  count_bytes(frame, length, counts);
  FanoCodeBook code;
  if (build_fano_code(counts, &code) != FanoBuildResult::kOk) return 0;
  // Sized from the count table, so the block holds the whole stream however spread out the
  // byte values are, and the writer never stores past it.
  const uint64_t stream_bytes = fano_bytes_for_bits(code.stream_bits);
  if (stream_bytes > INT32_MAX) return 0;

  if (pair_codes_ == nullptr) pair_codes_.reset(new (std::nothrow) FanoPairCodeTable);
  if (pair_codes_ == nullptr) return 0;
  output_buffer = take_block(static_cast<size_t>(stream_bytes));
  if (output_buffer == nullptr) return 0;
  return static_cast<int32_t>(fano_compress(code, frame, length, output_buffer, pair_codes_.get()));
}

int64_t FanoCodec::max_payload_size(int64_t n) {
  return static_cast<int64_t>(
      fano_bytes_for_bits(kFanoMaxTreeBits + static_cast<uint64_t>(n) * kFanoMaxCodeLength));
}

int32_t FanoCodec::decode(const uint8_t* payload, int32_t row_bytes, int32_t rows, int32_t pitch,
                          int32_t payload_len) {
  output_not_owned = false;
  output_buffer = nullptr;
  const int32_t n = frame_bytes(rows, pitch);
  if (n == 0) return 0;
  output_buffer = take_block(static_cast<size_t>(n));
  if (output_buffer == nullptr) return 0;

  // A negative length or a missing payload decodes like an empty payload: nothing.
  uint32_t readable = 0;
  if (QUORVEL_INPUT_OK(payload != nullptr && payload_len > 0)) {
    readable = static_cast<uint32_t>(payload_len);
  }
  const uint32_t length = static_cast<uint32_t>(n);
  const FanoExpandResult expanded = fano_expand(payload, output_buffer, readable, length);
  std::memset(output_buffer + expanded.bytes_written, 0, length - expanded.bytes_written);
  VerticalDelta::inverse(output_buffer, row_bytes, rows, pitch);
  return n;
}

}  // namespace quorvel
