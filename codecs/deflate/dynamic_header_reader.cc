#include "codecs/deflate/dynamic_header_reader.h"

#include "codecs/deflate/deflate_huffman_code.h"
#include "util/input_check.h"

namespace quorvel {
namespace {

constexpr uint32_t kAllLengths = kMaxLiteralLengthCodes + kMaxDistanceCodes;

// The code-length code as a table of 2^7 entries indexed by the next 7 stream bits:
// symbol | code length << 8.
struct CodeLengthTable {
  uint16_t entries[1u << kMaxCodeLengthCodeLength];
};

// Sums 2^(limit - length) over the lengths: 2^limit for a complete code, less for an
// incomplete one, more for an over-full one. REQUIRES: lengths <= limit.
uint32_t code_space(const uint8_t* lengths, uint32_t count, uint32_t limit) {
  uint32_t space = 0;
  for (uint32_t s = 0; s < count; ++s) {
    if (lengths[s] != 0) space += 1u << (limit - lengths[s]);
  }
  return space;
}

bool build_code_length_table(const uint8_t lengths[kCodeLengthAlphabetSize],
                             CodeLengthTable* table) {
  if (!QUORVEL_INPUT_OK(code_space(lengths, kCodeLengthAlphabetSize, kMaxCodeLengthCodeLength) ==
                        1u << kMaxCodeLengthCodeLength)) {
    return false;
  }
  uint16_t codes[kCodeLengthAlphabetSize];
  assign_reversed_codes(lengths, kCodeLengthAlphabetSize, codes);
  for (uint32_t s = 0; s < kCodeLengthAlphabetSize; ++s) {
    const uint32_t length = lengths[s];
    if (length == 0) continue;
    for (uint32_t k = 0; k < (1u << (kMaxCodeLengthCodeLength - length)); ++k) {
      table->entries[codes[s] | k << length] = static_cast<uint16_t>(s | length << 8);
    }
  }
  return true;
}

// What zlib takes as a distance code: a complete one, one code of one bit, or none at all.
bool distance_code_is_taken(const uint8_t* lengths, uint32_t count) {
  uint32_t codes = 0;
  uint32_t longest = 0;
  for (uint32_t s = 0; s < count; ++s) {
    if (lengths[s] == 0) continue;
    ++codes;
    if (lengths[s] > longest) longest = lengths[s];
  }
  if (codes <= 1) return longest <= 1;
  return code_space(lengths, count, kMaxCodeLength) == 1u << kMaxCodeLength;
}

// How a code-length symbol extends the sequence: the length it writes, how many times, and
// the extra bits that add to that.
struct LengthRun {
  uint32_t base_repeat;
  uint32_t extra_bits;
};

LengthRun run_of(uint32_t symbol) {
  switch (symbol) {
    case kCodeLengthRepeatPrevious:
      return LengthRun{3, 2};
    case kCodeLengthZeros3To10:
      return LengthRun{3, 3};
    case kCodeLengthZeros11To138:
      return LengthRun{11, 7};
    default:
      return LengthRun{1, 0};
  }
}

DynamicHeaderRead read_lengths(LiteralBitWindow* window, const uint8_t* end,
                               const CodeLengthTable& table, uint32_t total, uint8_t* lengths) {
  for (uint32_t filled = 0; filled < total;) {
    window->top_up(end);
    const uint32_t entry = table.entries[window->peek<kMaxCodeLengthCodeLength>()];
    const uint32_t code_bits = entry >> 8;
    if (!QUORVEL_INPUT_OK(code_bits <= window->bits_held())) return DynamicHeaderRead::kTruncated;
    window->consume(code_bits);
    const uint32_t symbol = entry & 0xFFu;
    const LengthRun run = run_of(symbol);
    uint32_t extra = 0;
    if (run.extra_bits != 0 && !QUORVEL_INPUT_OK(window->take(end, run.extra_bits, &extra))) {
      return DynamicHeaderRead::kTruncated;
    }
    const uint32_t repeat = run.base_repeat + extra;
    const bool repeats_previous = symbol == kCodeLengthRepeatPrevious;
    if (!QUORVEL_INPUT_OK(repeat <= total - filled && (!repeats_previous || filled > 0))) {
      return DynamicHeaderRead::kInvalid;
    }
    uint32_t length = symbol;
    if (repeats_previous) {
      length = lengths[filled - 1];
    } else if (symbol > kMaxCodeLength) {
      length = 0;
    }
    for (uint32_t i = 0; i < repeat; ++i) lengths[filled++] = static_cast<uint8_t>(length);
  }
  return DynamicHeaderRead::kOk;
}

}  // namespace

DynamicHeaderRead read_dynamic_header(LiteralBitWindow* window, const uint8_t* end,
                                      DynamicCodeLengths* lengths) {
  uint32_t hlit = 0;
  uint32_t hdist = 0;
  uint32_t hclen = 0;
  if (!QUORVEL_INPUT_OK(window->take(end, kHlitBits, &hlit) &&
                        window->take(end, kHdistBits, &hdist) &&
                        window->take(end, kHclenBits, &hclen))) {
    return DynamicHeaderRead::kTruncated;
  }
  const uint32_t literal_count = hlit + kMinLiteralLengthCodes;
  const uint32_t distance_count = hdist + 1;
  if (!QUORVEL_INPUT_OK(literal_count <= kMaxLiteralLengthCodes &&
                        distance_count <= kMaxDistanceCodes)) {
    return DynamicHeaderRead::kInvalid;
  }

  uint8_t code_length_lengths[kCodeLengthAlphabetSize] = {};
  for (uint32_t i = 0; i < hclen + kMinCodeLengthCodesSent; ++i) {
    uint32_t length = 0;
    if (!QUORVEL_INPUT_OK(window->take(end, kCodeLengthLengthBits, &length))) {
      return DynamicHeaderRead::kTruncated;
    }
    code_length_lengths[kCodeLengthOrder[i]] = static_cast<uint8_t>(length);
  }
  CodeLengthTable table;
  if (!QUORVEL_INPUT_OK(build_code_length_table(code_length_lengths, &table))) {
    return DynamicHeaderRead::kInvalid;
  }

  uint8_t all[kAllLengths];
  const DynamicHeaderRead read =
      read_lengths(window, end, table, literal_count + distance_count, all);
  if (read != DynamicHeaderRead::kOk) return read;
  if (!QUORVEL_INPUT_OK(distance_code_is_taken(all + literal_count, distance_count))) {
    return DynamicHeaderRead::kInvalid;
  }
  for (uint32_t s = 0; s < literal_count; ++s) lengths->literal[s] = all[s];
  lengths->literal_count = literal_count;
  return DynamicHeaderRead::kOk;
}

}  // namespace quorvel
