#include "codecs/deflate/literal_inflater.h"

#include <cstring>
#include <new>

#include "codecs/deflate/adler32.h"
#include "codecs/deflate/deflate_format.h"
#include "codecs/deflate/dynamic_header_reader.h"
#include "util/big_endian.h"
#include "util/input_check.h"

namespace quorvel {
namespace {

bool zlib_header_is_taken(uint8_t cmf, uint8_t flg) {
  return (cmf & 0x0Fu) == kZlibMethodDeflate && (cmf >> 4) <= kZlibLargestWindowInfo &&
         (flg & kZlibPresetDictionaryFlag) == 0 &&
         (static_cast<uint32_t>(cmf) << 8 | flg) % kZlibHeaderCheckDivisor == 0;
}

void fixed_code_lengths(uint8_t lengths[kFixedLiteralLengthCodes]) {
  for (uint32_t s = 0; s < kFixedLiteralLengthCodes; ++s) {
    lengths[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
  }
}

// A stored block after its header bits: zero bits to the byte boundary, LEN and NLEN, then
// LEN bytes, copied. The window is opened again after them.
LiteralInflateStatus copy_stored_block(const uint8_t* stream_end, LiteralBitWindow* window,
                                       LiteralOutput* output) {
  window->align_to_byte();
  const uint8_t* at = window->byte_position();
  if (!QUORVEL_INPUT_OK(stream_end - at >= static_cast<std::ptrdiff_t>(kStoredLengthBytes))) {
    return LiteralInflateStatus::kTruncated;
  }
  const uint32_t length = at[0] | static_cast<uint32_t>(at[1]) << 8;
  const uint32_t inverted = at[2] | static_cast<uint32_t>(at[3]) << 8;
  if (!QUORVEL_INPUT_OK(length == (~inverted & 0xFFFFu))) return LiteralInflateStatus::kBadBlock;
  at += kStoredLengthBytes;
  if (!QUORVEL_INPUT_OK(stream_end - at >= static_cast<std::ptrdiff_t>(length))) {
    return LiteralInflateStatus::kTruncated;
  }
  if (!QUORVEL_INPUT_OK(output->end - output->next >= static_cast<std::ptrdiff_t>(length))) {
    return LiteralInflateStatus::kOverrun;
  }
  std::memcpy(output->next, at, length);
  output->next += length;
  *window = LiteralBitWindow(at + length);
  return LiteralInflateStatus::kComplete;
}

}  // namespace

std::unique_ptr<LiteralInflater> LiteralInflater::create() {
  std::unique_ptr<LiteralInflater> inflater(new (std::nothrow) LiteralInflater());
  if (inflater == nullptr) return nullptr;
  uint8_t lengths[kFixedLiteralLengthCodes];
  fixed_code_lengths(lengths);
  // The fixed code is complete and has an end of block: its table always builds.
  inflater->fixed_.build(lengths, kFixedLiteralLengthCodes);
  return inflater;
}

LiteralInflateStatus LiteralInflater::decode_block(uint32_t block_type, const uint8_t* stream_end,
                                                   LiteralBitWindow* window,
                                                   LiteralOutput* output) {
  switch (block_type) {
    case kBlockTypeStored:
      return copy_stored_block(stream_end, window, output);
    case kBlockTypeFixed:
      return decode_literal_block(fixed_, stream_end, window, output);
    case kBlockTypeDynamic: {
      DynamicCodeLengths lengths;
      const DynamicHeaderRead read = read_dynamic_header(window, stream_end, &lengths);
      if (read == DynamicHeaderRead::kTruncated) return LiteralInflateStatus::kTruncated;
      if (!QUORVEL_INPUT_OK(read == DynamicHeaderRead::kOk &&
                            dynamic_.build(lengths.literal, lengths.literal_count))) {
        return LiteralInflateStatus::kBadBlock;
      }
      return decode_literal_block(dynamic_, stream_end, window, output);
    }
    default:
      return LiteralInflateStatus::kBadBlock;
  }
}

LiteralInflateResult LiteralInflater::inflate(const uint8_t* stream, uint32_t stream_length,
                                              uint8_t* out, uint32_t capacity) {
  if (!QUORVEL_INPUT_OK(stream_length >= kZlibHeaderBytes &&
                        zlib_header_is_taken(stream[0], stream[1]))) {
    return LiteralInflateResult{LiteralInflateStatus::kBadHeader, 0};
  }
  const uint8_t* const stream_end = stream + stream_length;
  LiteralBitWindow window(stream + kZlibHeaderBytes);
  LiteralOutput output{out, out + capacity};
  uint32_t adler = kAdler32Initial;
  bool last = false;
  while (!last) {
    uint32_t header = 0;
    if (!QUORVEL_INPUT_OK(window.take(stream_end, kBlockHeaderBits, &header))) {
      return LiteralInflateResult{LiteralInflateStatus::kTruncated, 0};
    }
    last = (header & 1u) != 0;
    uint8_t* const block_start = output.next;
    const LiteralInflateStatus status = decode_block(header >> 1, stream_end, &window, &output);
    if (status != LiteralInflateStatus::kComplete) return LiteralInflateResult{status, 0};
    // Each block while its bytes are still in the cache.
    adler = adler32_update(adler, block_start, static_cast<size_t>(output.next - block_start));
  }
  window.align_to_byte();
  const uint8_t* const trailer = window.byte_position();
  if (!QUORVEL_INPUT_OK(stream_end - trailer >= static_cast<std::ptrdiff_t>(kZlibTrailerBytes))) {
    return LiteralInflateResult{LiteralInflateStatus::kTruncated, 0};
  }
  if (!QUORVEL_INPUT_OK(get_be32(trailer) == adler)) {
    return LiteralInflateResult{LiteralInflateStatus::kChecksumMismatch, 0};
  }
  return LiteralInflateResult{LiteralInflateStatus::kComplete,
                              static_cast<size_t>(output.next - out)};
}

}  // namespace quorvel
