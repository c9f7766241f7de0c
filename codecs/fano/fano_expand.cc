#include "codecs/fano/fano_expand.h"

#include "codecs/fano/bit_cursor.h"
#include "codecs/fano/fano_bit_reader.h"
#include "codecs/fano/fano_decode_table.h"
#include "codecs/fano/fano_expand_variants.h"
#include "codecs/fano/fano_long_code_table.h"
#include "codecs/fano/fano_multi_symbol_run.h"
#include "codecs/fano/fano_multi_symbol_table.h"
#include "codecs/fano/fano_sort.h"
#include "util/input_check.h"

namespace quorvel {
namespace {

FanoExpandResult rejected(FanoTreeResult why) {
  return FanoExpandResult{FanoExpandStatus::kTreeRejected, why, 0};
}

// Shortest code first, equal lengths in tree order.
void order_by_code_length(FanoSymbol* leaves, uint32_t count) {
  stable_sort_fano_symbols(leaves, count, [](const FanoSymbol& a, const FanoSymbol& b) {
    return a.code_length < b.code_length;
  });
}

// One position of the plain decoder: bits are read only as far as the leaf at hand needs.
// Returns the matching leaf, or null once every leaf has been tried.
const FanoSymbol* match_by_leaves(BitCursor* in, const FanoTree& tree) {
  uint64_t in_hand = 0;  // 64-bit: a 32-bit code may be read in one go
  uint32_t bits_in_hand = 0;
  for (uint32_t i = 0; i < tree.leaf_count; ++i) {
    const FanoSymbol& leaf = tree.leaves[i];
    if (leaf.code_length > bits_in_hand) {
      const uint32_t more = leaf.code_length - bits_in_hand;
      in_hand = (in_hand << more) | get_bits(in, more);
      bits_in_hand = leaf.code_length;
    }
    if (in_hand == leaf.code) return &leaf;
  }
  return nullptr;
}

// How far the exact decoder got; inside is false once a position's bits would end past the
// payload (that position is not taken, and decoding ends there).
struct ExactProgress {
  FanoExpandCursor cursor;
  bool inside;
};

// Decodes the positions from `at` up to (not including) `stop` with one look-up of the exact
// table per code. io comes by value so that its pointers stay in registers across the byte
// stores, which could otherwise alias them.
ExactProgress expand_by_single_codes(const FanoDecodeTable& table, FanoExpandBuffers io,
                                     uint32_t stop, FanoExpandCursor at) {
  const uint64_t end_bit = static_cast<uint64_t>(io.payload_len) * 8u;
  uint64_t bit_pos = at.bit_pos;
  uint32_t written = at.written;
  // The window holds the stream from bit_pos on; its first `valid` bits are the stream's
  // (zeros past the payload's end count as such). Codes are taken off its top, and it is
  // reloaded only when a look-up could need more bits than it has, so most codes cost a
  // table look-up and a shift.
  uint64_t window = 0;
  uint32_t valid = 0;
  for (uint32_t position = at.position; position < stop; ++position) {
    if (valid < kFanoTableBits) {
      window = fano_peek_bits(io.payload, io.payload_len, bit_pos);
      valid = 64 - static_cast<uint32_t>(bit_pos & 7u);
    }
    FanoMatch match = table.match_short(window);
    if (match.symbol == kFanoLongSearch) {
      if (valid < kFanoMaxCodeLength) {
        window = fano_peek_bits(io.payload, io.payload_len, bit_pos);
        valid = 64 - static_cast<uint32_t>(bit_pos & 7u);
      }
      match = table.match_long(window);
    }
    if (!QUORVEL_INPUT_OK(bit_pos + match.length <= end_bit)) {
      return ExactProgress{FanoExpandCursor{bit_pos, position, written}, false};
    }
    bit_pos += match.length;
    window <<= match.length;
    valid -= match.length;
    if (match.symbol >= 0) io.destination[written++] = static_cast<uint8_t>(match.symbol);
  }
  return ExactProgress{FanoExpandCursor{bit_pos, stop, written}, true};
}

FanoExpandResult finished(const ExactProgress& progress) {
  const FanoExpandStatus status =
      progress.inside ? FanoExpandStatus::kComplete : FanoExpandStatus::kPayloadExhausted;
  return FanoExpandResult{status, FanoTreeResult::kOk, progress.cursor.written};
}

}  // namespace

FanoExpandResult fano_expand_reference(const uint8_t* payload, uint8_t* destination,
                                       uint32_t payload_len, uint32_t n) {
  BitCursor in = open_bit_reader(payload, payload_len);
  FanoTree tree;
  const FanoTreeResult tree_result = read_fano_tree(&in, payload_len, &tree);
  if (tree_result != FanoTreeResult::kOk) return rejected(tree_result);
  order_by_code_length(tree.leaves, tree.leaf_count);

  uint32_t written = 0;
  for (uint32_t position = 0; position < n; ++position) {
    const FanoSymbol* match = match_by_leaves(&in, tree);
    if (!QUORVEL_INPUT_OK(in.overrun_bits == 0)) {
      return FanoExpandResult{FanoExpandStatus::kPayloadExhausted, tree_result, written};
    }
    if (match != nullptr) destination[written++] = static_cast<uint8_t>(match->symbol);
  }
  return FanoExpandResult{FanoExpandStatus::kComplete, tree_result, written};
}

FanoExpandResult fano_expand_one_code_per_lookup(const uint8_t* payload, uint8_t* destination,
                                                 uint32_t payload_len, uint32_t n) {
  BitCursor in = open_bit_reader(payload, payload_len);
  FanoTree tree;
  const FanoTreeResult tree_result = read_fano_tree(&in, payload_len, &tree);
  if (tree_result != FanoTreeResult::kOk) return rejected(tree_result);
  const FanoDecodeTable table(tree);
  const FanoExpandBuffers io{payload, payload_len, destination, n};
  return finished(expand_by_single_codes(table, io, n, FanoExpandCursor{tree.tree_bits, 0, 0}));
}

FanoExpandResult fano_expand(const uint8_t* payload, uint8_t* destination, uint32_t payload_len,
                             uint32_t n) {
  BitCursor in = open_bit_reader(payload, payload_len);
  FanoTree tree;
  const FanoTreeResult tree_result = read_fano_tree(&in, payload_len, &tree);
  if (tree_result != FanoTreeResult::kOk) return rejected(tree_result);
  const FanoDecodeTable single(tree);
  const FanoExpandBuffers io{payload, payload_len, destination, n};
  FanoExpandCursor at{tree.tree_bits, 0, 0};

  // A one-leaf tree has an empty code: every position is its byte and takes no bits, which
  // the exact decoder does as it is.
  if (tree.max_code_length > 0) {
    const FanoMultiSymbolTable multi(single);
    const FanoLongCodeTable long_codes(tree);
    const FanoRunTables tables{multi, long_codes, single};
    for (;;) {
      const FanoRunResult run = fano_multi_symbol_run(tables, io, at);
      at = run.cursor;
      if (run.stop == FanoRunStop::kNearEnd) break;
      // A dead end (or a long code just before the payload's last word): one exact step,
      // then back to the fast decoder.
      const ExactProgress step = expand_by_single_codes(single, io, at.position + 1, at);
      if (!step.inside) return finished(step);
      at = step.cursor;
    }
  }
  // The last bytes of the payload or of the output.
  return finished(expand_by_single_codes(single, io, n, at));
}

}  // namespace quorvel
