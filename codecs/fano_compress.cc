#include "codecs/fano_compress.h"

#include <cstring>

#include "codecs/bit_cursor.h"
#include "codecs/fano_bit_writer.h"

namespace quorvel {

uint64_t fano_compress(const FanoCodeBook& code, const uint8_t* source, uint32_t n,
                       uint8_t* destination) {
  const uint64_t stream_bytes = fano_bytes_for_bits(code.stream_bits);
  FanoBitWriter writer(destination, destination + stream_bytes);

  const auto whole_tree_bytes = static_cast<uint32_t>(code.tree_bits / 8);
  for (uint32_t i = 0; i < whole_tree_bytes; ++i) writer.put(code.tree[i], 8);
  const auto tree_tail_bits = static_cast<uint32_t>(code.tree_bits % 8);
  if (tree_tail_bits > 0) {
    writer.put(static_cast<uint32_t>(code.tree[whole_tree_bytes] >> (8 - tree_tail_bits)),
               tree_tail_bits);
  }

  // Code and length side by side, so the loop touches one small table.
  uint32_t codes[kFanoSymbolCount];
  uint32_t lengths[kFanoSymbolCount];
  uint32_t longest = 0;
  for (uint32_t v = 0; v < kFanoSymbolCount; ++v) {
    codes[v] = code.symbols[v].code;
    lengths[v] = code.symbols[v].code_length;
    if (lengths[v] > longest) longest = lengths[v];
  }
  uint32_t i = 0;
  // Real frames have codes far below 28 bits, so two codes share one store.
  if (longest <= FanoBitWriter::kMaxPairedCodeLength) {
    for (; n - i >= 2; i += 2) {
      writer.put_pair(codes[source[i]], lengths[source[i]], codes[source[i + 1]],
                      lengths[source[i + 1]]);
    }
  }
  for (; i < n; ++i) writer.put(codes[source[i]], lengths[source[i]]);
  return static_cast<uint64_t>(writer.finish() - destination);
}

uint64_t fano_compress_reference(const FanoCodeBook& code, const uint8_t* source, uint32_t n,
                                 uint8_t* destination) {
  const uint64_t stream_bytes = fano_bytes_for_bits(code.stream_bits);
  // put_bits leaves the bits it does not write as they were: clear the block so the
  // padding is zero.
  std::memset(destination, 0, static_cast<size_t>(stream_bytes));
  const uint32_t capacity = static_cast<uint32_t>(stream_bytes);
  BitCursor cursor = open_bit_cursor(destination, capacity);

  BitCursor tree = open_bit_reader(code.tree, kFanoMaxTreeBytes);
  for (uint64_t i = 0; i < code.tree_bits; ++i) put_bits(&cursor, get_bits(&tree, 1), 1);

  for (uint32_t i = 0; i < n; ++i) {
    const FanoSymbol& entry = code.symbols[source[i]];
    if (entry.code_length > 0) put_bits(&cursor, entry.code, entry.code_length);
  }
  const uint64_t bits = bits_entered(cursor, capacity);
  return fano_bytes_for_bits(bits);
}

}  // namespace quorvel
