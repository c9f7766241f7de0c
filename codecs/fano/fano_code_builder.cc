#include "codecs/fano/fano_code_builder.h"

#include <cstring>

#include "codecs/fano/bit_cursor.h"
#include "codecs/fano/fano_sort.h"

namespace quorvel {
namespace {

// Highest count first; equal counts keep their ascending values (the sort is stable, so it
// gives the same order as passes of neighbour swaps).
void order_by_count(FanoSymbol* table) {
  stable_sort_fano_symbols(table, kFanoSymbolCount, [](const FanoSymbol& a, const FanoSymbol& b) {
    return a.count > b.count;
  });
}

uint64_t total_count(const FanoSymbol* table, uint32_t start, uint32_t end) {
  uint64_t total = 0;
  for (uint32_t i = start; i <= end; ++i) total += table[i].count;
  return total;
}

// Writes the node for entries start..end of the count-ordered table and gives each of them
// its code. Left slots recurse, right slots loop, so the recursion is as deep as the
// longest run of left turns; the depth check bounds it at 33 frames. Sums are 64-bit so
// that any table of 32-bit counts splits without overflow.
bool build_code(FanoSymbol* table, uint32_t start, uint32_t end, uint32_t code, uint32_t depth,
                BitCursor* tree) {
  for (;;) {
    if (depth > kFanoMaxCodeLength) return false;
    if (start == end) {
      put_bits(tree, 1, 1);
      put_bits(tree, table[start].symbol, kFanoValueBits);
      table[start].code = code;
      table[start].code_length = depth;
      return true;
    }
    put_bits(tree, 0, 1);
    const uint64_t total = total_count(table, start, end);
    const uint64_t half = total / 2;
    uint64_t left_total = 0;
    uint32_t split = start;
    while (split < end) {
      left_total += table[split].count;
      ++split;
      if (left_total > half) break;
    }
    if (left_total > 0) {
      put_bits(tree, 1, 1);
      if (!build_code(table, start, split - 1, code << 1, depth + 1, tree)) return false;
    } else {
      put_bits(tree, 0, 1);
    }
    if (left_total == total) {  // nothing on the right occurs: absent slot
      put_bits(tree, 0, 1);
      return true;
    }
    put_bits(tree, 1, 1);
    start = split;
    code = (code << 1) | 1u;
    ++depth;
  }
}

}  // namespace

FanoBuildResult build_fano_code(const uint32_t counts[kFanoSymbolCount], FanoCodeBook* code) {
  FanoSymbol ordered[kFanoSymbolCount];
  for (uint32_t v = 0; v < kFanoSymbolCount; ++v) ordered[v] = FanoSymbol{v, counts[v], 0, 0};
  order_by_count(ordered);
  if (ordered[0].count == 0) return FanoBuildResult::kNothingToCode;

  std::memset(code->tree, 0, sizeof code->tree);
  BitCursor tree = open_bit_cursor(code->tree, kFanoMaxTreeBytes);
  if (!build_code(ordered, 0, kFanoSymbolCount - 1, 0, 0, &tree)) {
    return FanoBuildResult::kCodeTooLong;
  }
  code->tree_bits = bits_entered(tree, kFanoMaxTreeBytes);

  uint64_t stream_bits = code->tree_bits;
  for (const FanoSymbol& entry : ordered) {
    code->symbols[entry.symbol] = entry;
    stream_bits += static_cast<uint64_t>(entry.count) * entry.code_length;
  }
  code->stream_bits = stream_bits;
  return FanoBuildResult::kOk;
}

}  // namespace quorvel
