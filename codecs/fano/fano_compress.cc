#include "codecs/fano/fano_compress.h"

#include <cstring>

#include "codecs/fano/bit_cursor.h"
#include "codecs/fano/fano_bit_writer.h"
#include "codecs/fano/fano_pair_code_table.h"
#include "util/little_endian.h"

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

// The code of two pairs, one after the other, in 32 bits: what the writer takes in one go.
constexpr uint32_t kMaxJoinedBits = 32;

// REQUIRES: first.length + second.length <= kMaxJoinedBits. A second pair of 32 bits leaves a
// first one of 0 bits (a one-leaf tree), whose code is 0: masking the shift keeps it defined.
uint32_t joined(const FanoPairCode& first, const FanoPairCode& second) {
  return first.code << (second.length & 31u) | second.code;
}

// Two pairs with one store when they fit the writer together; byte by byte otherwise (the
// rare long codes, and unpaired entries, whose length alone is too long).
void put_four_bytes(const FanoCodeBook& code, const FanoPairCode& first, const FanoPairCode& second,
                    const uint8_t* source, FanoBitWriter* writer) {
  if (first.length + second.length <= FanoBitWriter::kMaxTwoCodeBits) {
    writer->put_two(first.code, first.length, second.code, second.length);
  } else {
    put_codes_one_by_one(code, source, 4, writer);
  }
}

// Eight bytes whose codes do not fit one store, four at a time. Out of the loop's way, so
// that the fast path keeps its values in registers.
[[gnu::noinline, gnu::cold]] void put_eight_bytes_apart(
    const FanoCodeBook& code, const FanoPairCode& p0, const FanoPairCode& p1,
    const FanoPairCode& p2, const FanoPairCode& p3, const uint8_t* source, FanoBitWriter* writer) {
  put_four_bytes(code, p0, p1, source, writer);
  put_four_bytes(code, p2, p3, source + 4, writer);
}

}  // namespace

uint64_t fano_compress(const FanoCodeBook& code, const uint8_t* source, uint32_t n,
                       uint8_t* destination, FanoPairCodeTable* pairs) {
  const uint64_t stream_bytes = fano_bytes_for_bits(code.stream_bits);
  FanoBitWriter writer(destination, destination + stream_bytes);
  put_tree(code, &writer);
  pairs->build(code);

  // Eight bytes, four pair look-ups and one store per step: each two pairs are joined into
  // the code of four bytes before they meet the writer, so that the writer's chain of
  // dependent shifts is two codes long per eight bytes, not four. On a filtered frame the
  // codes almost always fit (some 12 bits for eight bytes); the rest go out pair by pair.
  uint32_t i = 0;
  for (; n - i >= 8; i += 8) {
    // One load for the four pairs' indices: a little-endian 16-bit piece is (first, second).
    const uint64_t eight = get_le64(source + i);
    const FanoPairCode p0 = pairs->at(static_cast<uint32_t>(eight & 0xFFFFu));
    const FanoPairCode p1 = pairs->at(static_cast<uint32_t>(eight >> 16 & 0xFFFFu));
    const FanoPairCode p2 = pairs->at(static_cast<uint32_t>(eight >> 32 & 0xFFFFu));
    const FanoPairCode p3 = pairs->at(static_cast<uint32_t>(eight >> 48));
    const uint32_t front = p0.length + p1.length;
    const uint32_t back = p2.length + p3.length;
    if (front <= kMaxJoinedBits && back <= kMaxJoinedBits &&
        front + back <= FanoBitWriter::kMaxTwoCodeBits) {
      writer.put_two(joined(p0, p1), front, joined(p2, p3), back);
    } else {
      put_eight_bytes_apart(code, p0, p1, p2, p3, source + i, &writer);
    }
  }
  if (n - i >= 4) {
    put_four_bytes(code, pairs->of(source[i], source[i + 1]),
                   pairs->of(source[i + 2], source[i + 3]), source + i, &writer);
    i += 4;
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
