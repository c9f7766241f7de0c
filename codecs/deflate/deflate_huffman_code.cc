#include "codecs/deflate/deflate_huffman_code.h"

#include <algorithm>

namespace quorvel {
namespace {

struct Leaf {
  uint64_t count;
  uint32_t symbol;
};

// Depths of an optimal tree over leaves sorted by ascending count (two-queue method: the
// internal nodes are made in ascending weight order, so the next smallest weight is at the
// front of one of the two queues). depths[i] is the depth of leaves[i].
void huffman_depths(const Leaf* leaves, uint32_t n, uint32_t* depths) {
  uint64_t weight[kMaxHuffmanAlphabetSize];
  uint32_t parent[2 * kMaxHuffmanAlphabetSize];  // leaves 0..n-1, then internal nodes
  uint32_t next_leaf = 0;
  uint32_t next_node = 0;
  auto take_smallest = [&](uint32_t made) {
    if (next_leaf < n && (next_node == made || leaves[next_leaf].count <= weight[next_node])) {
      return next_leaf++;
    }
    return n + next_node++;
  };
  auto weight_of = [&](uint32_t node) { return node < n ? leaves[node].count : weight[node - n]; };
  for (uint32_t made = 0; made + 1 < n; ++made) {
    const uint32_t a = take_smallest(made);
    const uint32_t b = take_smallest(made);
    weight[made] = weight_of(a) + weight_of(b);
    parent[a] = n + made;
    parent[b] = n + made;
  }
  // Parents come after their children, so one pass from the root down sets every depth.
  uint32_t node_depth[kMaxHuffmanAlphabetSize];
  const uint32_t root = n - 2;
  node_depth[root] = 0;
  for (uint32_t k = root; k-- > 0;) node_depth[k] = node_depth[parent[n + k] - n] + 1;
  for (uint32_t i = 0; i < n; ++i) depths[i] = node_depth[parent[i] - n] + 1;
}

// Brings depths (of leaves sorted by ascending count) to at most max_length and makes the
// code complete again. Kraft sums are counted in units of 2^-max_length.
void limit_depths(uint32_t n, uint32_t max_length, uint32_t* depths) {
  const uint32_t capacity = 1u << max_length;
  uint32_t kraft = 0;
  for (uint32_t i = 0; i < n; ++i) {
    if (depths[i] > max_length) depths[i] = max_length;
    kraft += capacity >> depths[i];
  }
  // Over-full: lengthen the least frequent code of the greatest length below the limit,
  // the cheapest step that frees room. Such a code exists while the sum is over 1, since
  // n codes at the limit sum to n / 2^max_length <= 1.
  while (kraft > capacity) {
    uint32_t chosen = n;
    for (uint32_t i = 0; i < n; ++i) {
      if (depths[i] < max_length && (chosen == n || depths[i] > depths[chosen])) chosen = i;
    }
    kraft -= capacity >> (depths[chosen] + 1);
    ++depths[chosen];
  }
  // Under-full: shorten codes, most frequent first, while the sum stays within 1. The
  // longest code always fits the remaining room (the room is a multiple of its weight), so
  // every pass makes progress until the sum is exactly 1.
  while (kraft < capacity) {
    for (uint32_t i = n; i-- > 0;) {
      while (depths[i] > 1 && kraft + (capacity >> depths[i]) <= capacity) {
        kraft += capacity >> depths[i];
        --depths[i];
      }
    }
  }
}

}  // namespace

void build_code_lengths(const uint32_t* counts, uint32_t symbol_count, uint32_t max_length,
                        uint8_t* lengths) {
  Leaf leaves[kMaxHuffmanAlphabetSize];
  uint32_t n = 0;
  for (uint32_t s = 0; s < symbol_count; ++s) {
    lengths[s] = 0;
    if (counts[s] > 0) leaves[n++] = Leaf{counts[s], s};
  }
  // A code needs two leaves; uncounted partners cost nothing in the data.
  for (uint32_t s = 0; n < 2 && s < symbol_count; ++s) {
    if (counts[s] == 0) leaves[n++] = Leaf{0, s};
  }
  std::sort(leaves, leaves + n, [](const Leaf& a, const Leaf& b) {
    return a.count != b.count ? a.count < b.count : a.symbol < b.symbol;
  });
  uint32_t depths[kMaxHuffmanAlphabetSize];
  huffman_depths(leaves, n, depths);
  limit_depths(n, max_length, depths);
  for (uint32_t i = 0; i < n; ++i) lengths[leaves[i].symbol] = static_cast<uint8_t>(depths[i]);
}

void assign_reversed_codes(const uint8_t* lengths, uint32_t symbol_count, uint16_t* codes) {
  constexpr uint32_t kLongest = 15;
  uint32_t length_count[kLongest + 1] = {};
  for (uint32_t s = 0; s < symbol_count; ++s) ++length_count[lengths[s]];
  length_count[0] = 0;
  uint32_t next_code[kLongest + 1] = {};
  uint32_t code = 0;
  for (uint32_t length = 1; length <= kLongest; ++length) {
    code = (code + length_count[length - 1]) << 1;
    next_code[length] = code;
  }
  for (uint32_t s = 0; s < symbol_count; ++s) {
    const uint32_t length = lengths[s];
    uint32_t reversed = 0;
    if (length > 0) {
      const uint32_t canonical = next_code[length]++;
      for (uint32_t bit = 0; bit < length; ++bit)
        reversed |= ((canonical >> bit) & 1u) << (length - 1 - bit);
    }
    codes[s] = static_cast<uint16_t>(reversed);
  }
}

}  // namespace quorvel
