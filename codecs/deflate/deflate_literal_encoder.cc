#include "codecs/deflate/deflate_literal_encoder.h"

#include <zlib.h>

#include <cstring>
#include <new>

#include "codecs/byte_histogram.h"
#include "codecs/deflate/deflate_block_header.h"
#include "codecs/deflate/deflate_huffman_code.h"
#include "codecs/deflate/entropy_estimate.h"
#include "util/big_endian.h"
#include "util/little_endian.h"

namespace quorvel {
namespace {

constexpr uint32_t kStoredBlockCostBytes = 1 + kStoredLengthBytes;  // header bits, padding

// What a block of its own is taken to cost beyond its data, in 1/65536 bits: 320 bits (a
// header with its code lengths is typically 30 to 60 bytes, and a second code wins some
// of that back). Of 0, 100, 200, 320, 500, 800 and 1500 bits, 320 gave the smallest
// payloads on the four benchmark frames.
constexpr uint64_t kBlockCostEstimate = 320ull << kEntropyFractionBits;

uint32_t stored_blocks_for(uint32_t n) {
  return n == 0 ? 1 : (n - 1) / kStoredBlockMaxBytes + 1;
}

uint32_t chunks_for(uint32_t n) {
  return n == 0 ? 1 : (n - 1) / kLiteralChunkBytes + 1;
}

// Bits that n bytes take as stored blocks when the previous block ended `pending` bits into
// a byte: the first header and its padding, LEN and NLEN and the bytes, and a whole byte of
// header for each further stored block.
uint64_t stored_bits(uint32_t n, uint32_t pending) {
  const uint32_t first_header = ((pending + kBlockHeaderBits + 7) & ~7u) - pending;
  return first_header + 8ull * kStoredLengthBytes + 8ull * n +
         (stored_blocks_for(n) - 1) * 8ull * kStoredBlockCostBytes;
}

}  // namespace

std::unique_ptr<DeflateLiteralEncoder> DeflateLiteralEncoder::create() {
  return std::unique_ptr<DeflateLiteralEncoder>(new (std::nothrow) DeflateLiteralEncoder());
}

uint64_t DeflateLiteralEncoder::max_stream_bytes(uint32_t n) {
  return kZlibHeaderBytes + static_cast<uint64_t>(n) +
         static_cast<uint64_t>(chunks_for(n)) * kStoredBlockCostBytes + kZlibTrailerBytes;
}

DeflateStream DeflateLiteralEncoder::encode(const uint8_t* source, uint32_t n, uint8_t* destination,
                                            uint64_t capacity) {
  if (capacity < max_stream_bytes(n) + kSpareBytes) return DeflateStream{0, 0};
  destination[0] = kZlibHeaderCmf;
  destination[1] = kZlibHeaderFlg;
  DeflateBitWriter writer(destination + kZlibHeaderBytes);
  uint32_t adler = static_cast<uint32_t>(adler32(0, nullptr, 0));
  // The block being gathered: its start, length, counts and estimated data bits.
  uint32_t block_start = 0;
  uint32_t block_bytes = 0;
  uint32_t block_counts[256] = {};
  uint64_t block_bits = 0;
  for (uint32_t done = 0; done < n;) {
    const uint32_t left = n - done;
    const uint32_t chunk = left < kLiteralChunkBytes ? left : kLiteralChunkBytes;
    adler = static_cast<uint32_t>(adler32(adler, source + done, chunk));
    uint32_t chunk_counts[256];
    count_bytes(source + done, chunk, chunk_counts);
    const uint64_t chunk_bits = entropy_bits_fixed(chunk_counts);
    uint32_t joined_counts[256];
    for (uint32_t v = 0; v < 256; ++v) joined_counts[v] = block_counts[v] + chunk_counts[v];
    const uint64_t joined_bits = entropy_bits_fixed(joined_counts);
    if (block_bytes > 0 && (block_bytes + chunk > kLiteralBlockMaxBytes ||
                            joined_bits > block_bits + chunk_bits + kBlockCostEstimate)) {
      write_block(source + block_start, block_bytes, block_counts, false, &writer);
      block_start = done;
      block_bytes = chunk;
      std::memcpy(block_counts, chunk_counts, sizeof block_counts);
      block_bits = chunk_bits;
    } else {
      block_bytes += chunk;
      std::memcpy(block_counts, joined_counts, sizeof block_counts);
      block_bits = joined_bits;
    }
    done += chunk;
  }
  write_block(source + block_start, block_bytes, block_counts, true, &writer);
  uint8_t* end = writer.finish();
  put_be32(end, adler);
  end += kZlibTrailerBytes;
  return DeflateStream{static_cast<uint32_t>(end - destination), adler};
}

void DeflateLiteralEncoder::write_block(const uint8_t* block, uint32_t n,
                                        const uint32_t byte_counts[256], bool last,
                                        DeflateBitWriter* writer) {
  uint32_t counts[kLiteralAlphabetSize];
  std::memcpy(counts, byte_counts, 256 * sizeof counts[0]);
  counts[kEndOfBlock] = 1;
  uint8_t lengths[kLiteralAlphabetSize];
  build_code_lengths(counts, kLiteralAlphabetSize, kMaxCodeLength, lengths);
  DynamicBlockHeader header;
  plan_dynamic_block_header(lengths, &header);
  uint64_t dynamic_bits = kBlockHeaderBits + header.bits;
  for (uint32_t s = 0; s < kLiteralAlphabetSize; ++s) {
    dynamic_bits += static_cast<uint64_t>(counts[s]) * lengths[s];
  }
  if (dynamic_bits >= stored_bits(n, writer->pending_bits())) {
    write_stored(block, n, last, writer);
    return;
  }
  uint16_t codes[kLiteralAlphabetSize];
  assign_reversed_codes(lengths, kLiteralAlphabetSize, codes);
  writer->put((last ? 1u : 0u) | kBlockTypeDynamic << 1, kBlockHeaderBits);
  write_dynamic_block_header(header, writer);
  code_literals(block, n, counts, codes, lengths, writer);
  writer->put(codes[kEndOfBlock], lengths[kEndOfBlock]);
}

void DeflateLiteralEncoder::write_stored(const uint8_t* block, uint32_t n, bool last,
                                         DeflateBitWriter* writer) {
  uint32_t done = 0;
  do {
    const uint32_t left = n - done;
    const uint32_t piece = left < kStoredBlockMaxBytes ? left : kStoredBlockMaxBytes;
    const bool final_piece = last && done + piece == n;
    writer->put((final_piece ? 1u : 0u) | kBlockTypeStored << 1, kBlockHeaderBits);
    writer->align_to_byte();
    writer->put(piece, 16);
    writer->put(~piece & 0xFFFFu, 16);
    writer->put_bytes(block + done, piece);
    done += piece;
  } while (done < n);
}

void DeflateLiteralEncoder::code_literals(const uint8_t* block, uint32_t n,
                                          const uint32_t counts[256], const uint16_t* codes,
                                          const uint8_t* lengths, DeflateBitWriter* writer) {
  // Only rows of values that occur in the block are ever looked up. A row is written whole,
  // the second code shifted by the first's length as a product with 2^length, in a loop the
  // compiler turns into vector code.
  uint32_t first_codes[256];
  uint32_t first_shift[256];
  uint8_t first_lengths[256];
  for (uint32_t v = 0; v < 256; ++v) {
    first_codes[v] = codes[v];
    first_shift[v] = 1u << lengths[v];
    first_lengths[v] = lengths[v];
  }
  for (uint32_t second = 0; second < 256; ++second) {
    if (counts[second] == 0) continue;
    const uint32_t second_code = codes[second];
    const uint8_t second_length = lengths[second];
    uint32_t* __restrict row_codes = pair_codes_ + (second << 8);
    uint8_t* __restrict row_lengths = pair_lengths_ + (second << 8);
    for (uint32_t first = 0; first < 256; ++first) {
      row_codes[first] = first_codes[first] | second_code * first_shift[first];
      row_lengths[first] = static_cast<uint8_t>(first_lengths[first] + second_length);
    }
  }

  // A local copy: the writer's stores through a byte pointer could alias its own fields,
  // which would keep them in memory instead of registers.
  DeflateBitWriter local = *writer;
  uint32_t i = 0;
  for (; n - i >= 8; i += 8) {
    const uint32_t low = get_le32(block + i);  // first byte lowest: a pair index as is
    const uint32_t high = get_le32(block + i + 4);
    const uint32_t p0 = low & 0xFFFFu;
    const uint32_t p1 = low >> 16;
    const uint32_t p2 = high & 0xFFFFu;
    const uint32_t p3 = high >> 16;
    local.put_four(pair_codes_[p0], pair_lengths_[p0], pair_codes_[p1], pair_lengths_[p1],
                   pair_codes_[p2], pair_lengths_[p2], pair_codes_[p3], pair_lengths_[p3]);
  }
  for (; i < n; ++i) local.put(codes[block[i]], lengths[block[i]]);
  *writer = local;
}

}  // namespace quorvel
