#include "codecs/fano/fano_compress.h"

#include <cstring>

#include "codecs/fano/bit_cursor.h"
#include "codecs/fano/fano_bit_writer.h"
#include "codecs/fano/fano_pair_code_table.h"

namespace quorvel {

namespace {

void put_tree(const FanoCodeBook& code, FanoBitWriter* writer) {
  const auto whole_tree_bytes = static_cast<uint32_t>(code.tree_bits / 8);
  for (uint32_t i = 0; i < whole_tree_bytes; ++i) writer->put(code.tree[i], 8);
  const auto tree_tail_bits = static_cast<uint32_t>(code.tree_bits % 8);
  if (tree_tail_bits > 0) {
    writer->put(static_cast<uint32_t>(code.tree[whole_tree_bytes] >> (8 - tree_tail_bits)),
                tree_tail_bits);
  }
}

void put_codes_one_by_one(const FanoCodeBook& code, const uint8_t* source, uint32_t n,
                          FanoBitWriter* writer) {
  for (uint32_t i = 0; i < n; ++i) {
    const FanoSymbol& symbol = code.symbols[source[i]];
    writer->put(symbol.code, symbol.code_length);
  }
}

}  // namespace

uint64_t fano_compress(const FanoCodeBook& code, const uint8_t* source, uint32_t n,
                       uint8_t* destination, FanoPairCodeTable* pairs) {
  const uint64_t stream_bytes = fano_bytes_for_bits(code.stream_bits);
  FanoBitWriter writer(destination, destination + stream_bytes);
  put_tree(code, &writer);
  pairs->build(code);

  // Four bytes, two pair look-ups and one store per step. On a filtered frame the two pairs
  // almost always fit the accumulator together; the rare long codes (and unpaired entries,
  // whose length alone is too long) go out one by one.
  uint32_t i = 0;
  for (; n - i >= 4; i += 4) {
    const FanoPairCode& first = pairs->of(source[i], source[i + 1]);
    const FanoPairCode& second = pairs->of(source[i + 2], source[i + 3]);
    if (first.length + second.length <= FanoBitWriter::kMaxTwoCodeBits) {
      writer.put_two(first.code, first.length, second.code, second.length);
    } else {
      put_codes_one_by_one(code, source + i, 4, &writer);
    }
  }
  put_codes_one_by_one(code, source + i, n - i, &writer);
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
