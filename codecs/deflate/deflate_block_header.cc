#include "codecs/deflate/deflate_block_header.h"

#include "codecs/deflate/deflate_huffman_code.h"

namespace quorvel {
namespace {

uint32_t extra_bits_of(uint32_t symbol) {
  switch (symbol) {
    case kCodeLengthRepeatPrevious:
      return 2;
    case kCodeLengthZeros3To10:
      return 3;
    case kCodeLengthZeros11To138:
      return 7;
    default:
      return 0;
  }
}

void emit(DynamicBlockHeader* header, uint32_t symbol, uint32_t extra) {
  header->symbols[header->symbol_count] = static_cast<uint8_t>(symbol);
  header->extra[header->symbol_count] = static_cast<uint8_t>(extra);
  ++header->symbol_count;
}

// One run of `run` equal lengths `length` (the runs of the literal lengths and the distance
// lengths are coded as one sequence, as the format allows).
void emit_run(DynamicBlockHeader* header, uint32_t length, uint32_t run) {
  if (length == 0) {
    while (run >= 11) {
      const uint32_t take = run < 138 ? run : 138;
      emit(header, kCodeLengthZeros11To138, take - 11);
      run -= take;
    }
    if (run >= 3) {
      emit(header, kCodeLengthZeros3To10, run - 3);
      run = 0;
    }
  } else {
    emit(header, length, 0);
    --run;
    while (run >= 3) {
      const uint32_t take = run < 6 ? run : 6;
      emit(header, kCodeLengthRepeatPrevious, take - 3);
      run -= take;
    }
  }
  for (; run > 0; --run) emit(header, length, 0);
}

}  // namespace

void plan_dynamic_block_header(const uint8_t* literal_lengths, DynamicBlockHeader* header) {
  uint8_t lengths[DynamicBlockHeader::kLengthsCoded];
  for (uint32_t s = 0; s < kLiteralAlphabetSize; ++s) lengths[s] = literal_lengths[s];
  for (uint32_t d = 0; d < kDistanceCodesWritten; ++d) lengths[kLiteralAlphabetSize + d] = 1;

  header->symbol_count = 0;
  for (uint32_t start = 0; start < DynamicBlockHeader::kLengthsCoded;) {
    uint32_t end = start + 1;
    while (end < DynamicBlockHeader::kLengthsCoded && lengths[end] == lengths[start]) ++end;
    emit_run(header, lengths[start], end - start);
    start = end;
  }

  uint32_t counts[kCodeLengthAlphabetSize] = {};
  for (uint32_t i = 0; i < header->symbol_count; ++i) ++counts[header->symbols[i]];
  build_code_lengths(counts, kCodeLengthAlphabetSize, kMaxCodeLengthCodeLength,
                     header->code_length_lengths);
  assign_reversed_codes(header->code_length_lengths, kCodeLengthAlphabetSize,
                        header->code_length_codes);

  // HCLEN leaves out the trailing zero lengths of the fixed order, down to the 4 minimum.
  uint32_t sent = kCodeLengthAlphabetSize;
  while (sent > 4 && header->code_length_lengths[kCodeLengthOrder[sent - 1]] == 0) --sent;
  header->code_lengths_sent = sent;

  uint64_t bits = kHlitBits + kHdistBits + kHclenBits + kCodeLengthLengthBits * sent;
  for (uint32_t i = 0; i < header->symbol_count; ++i) {
    const uint32_t symbol = header->symbols[i];
    bits += header->code_length_lengths[symbol] + extra_bits_of(symbol);
  }
  header->bits = bits;
}

void write_dynamic_block_header(const DynamicBlockHeader& header, DeflateBitWriter* writer) {
  writer->put(kLiteralAlphabetSize - 257, kHlitBits);
  writer->put(kDistanceCodesWritten - 1, kHdistBits);
  writer->put(header.code_lengths_sent - 4, kHclenBits);
  for (uint32_t i = 0; i < header.code_lengths_sent; ++i) {
    writer->put(header.code_length_lengths[kCodeLengthOrder[i]], kCodeLengthLengthBits);
  }
  for (uint32_t i = 0; i < header.symbol_count; ++i) {
    const uint32_t symbol = header.symbols[i];
    writer->put(header.code_length_codes[symbol], header.code_length_lengths[symbol]);
    writer->put(header.extra[i], extra_bits_of(symbol));
  }
}

}  // namespace quorvel
