#include "codecs/deflate/literal_block_decoder.h"

#include <cstddef>

#include "util/input_check.h"
#include "util/little_endian.h"

namespace quorvel {
namespace {

using Window = LiteralBitWindow;
using Table = LiteralDecodeTable;

// A group is four look-ups (two refills of a 32-bit window, one of a 64-bit one), so that
// its bounds are checked once per four look-ups on either target.
constexpr uint32_t kLookupsPerRefill = Window::kBitsAfterRefill / kLiteralTableBits >= 4 ? 4 : 2;
constexpr uint32_t kRefills = 4 / kLookupsPerRefill;
static_assert(kLookupsPerRefill * kLiteralTableBits <= Window::kBitsAfterRefill,
              "a refill holds the bits of its look-ups");
// The stream bytes a group's refills may load from the window's next() on: each refill
// moves next() on by at most a word less one byte.
constexpr std::ptrdiff_t kGroupLoadBytes =
    Window::kWordBytes + (kRefills - 1) * (Window::kWordBytes - 1);
// Each look-up stores 8 bytes and moves the output on by at most six, so a group's last
// store ends at most this far past where the group began.
constexpr std::ptrdiff_t kGroupStoreBytes = 3 * kMostLiteralsPerEntry + 8;

// One group of look-ups. Every entry is stored whole (8 bytes) and the output moves on by
// its count, so the next store covers the bytes beyond. Returns false, with the window at
// that code, at an entry that holds no literal. Nothing in here calls out, so that the
// window and the output stay in registers (on i686 too).
bool decode_group(const Table& table, Window* window, uint8_t** out) {
  uint8_t* at = *out;
  for (uint32_t refill = 0; refill < kRefills; ++refill) {
    window->refill();
    for (uint32_t i = 0; i < kLookupsPerRefill; ++i) {
      const uint64_t entry = table.entry(window->peek<kLiteralTableBits>());
      const uint32_t count = Table::literal_count(entry);
      if (!QUORVEL_INPUT_OK(count != 0)) {
        *out = at;
        return false;
      }
      put_le64(at, Table::literals(entry));
      at += count;
      window->consume(Table::bit_count(entry));
    }
  }
  *out = at;
  return true;
}

// Groups for as long as both the stream and the output have room for one. The window and
// the output pointer are copied into locals, so that they stay in registers across the
// stores, which could otherwise alias them.
void decode_groups(const Table& table, const uint8_t* stream_end, Window* window,
                   LiteralOutput* output) {
  if (output->end - output->next < kGroupStoreBytes) return;
  const uint8_t* const last_group_out = output->end - kGroupStoreBytes;
  Window local = *window;
  uint8_t* at = output->next;
  while (QUORVEL_INPUT_OK(at <= last_group_out && stream_end - local.next() >= kGroupLoadBytes) &&
         decode_group(table, &local, &at)) {
  }
  *window = local;
  output->next = at;
}

}  // namespace

LiteralInflateStatus decode_literal_block(const LiteralDecodeTable& table,
                                          const uint8_t* stream_end, LiteralBitWindow* window,
                                          LiteralOutput* output) {
  for (;;) {
    decode_groups(table, stream_end, window, output);
    // One entry or one code, exactly: near the ends, or where the group stopped.
    window->top_up(stream_end);
    const uint64_t entry = table.entry(window->peek<kLiteralTableBits>());
    const uint32_t count = Table::literal_count(entry);
    if (count != 0) {
      if (!QUORVEL_INPUT_OK(Table::bit_count(entry) <= window->bits_held())) {
        return LiteralInflateStatus::kTruncated;
      }
      if (!QUORVEL_INPUT_OK(output->end - output->next >= static_cast<std::ptrdiff_t>(count))) {
        return LiteralInflateStatus::kOverrun;
      }
      const uint64_t literals = Table::literals(entry);
      for (uint32_t i = 0; i < count; ++i) {
        output->next[i] = static_cast<uint8_t>(literals >> (8 * i));
      }
      output->next += count;
      window->consume(Table::bit_count(entry));
      continue;
    }
    const LiteralCodeMatch code =
        table.first_code(entry, window->peek_after(kLiteralTableBits, kLongCodeExtraBits));
    if (!QUORVEL_INPUT_OK(code.length <= window->bits_held())) {
      return LiteralInflateStatus::kTruncated;
    }
    window->consume(code.length);
    if (code.symbol == kEndOfBlock) return LiteralInflateStatus::kComplete;
    if (!QUORVEL_INPUT_OK(code.symbol < kEndOfBlock)) return LiteralInflateStatus::kNotLiteral;
    if (!QUORVEL_INPUT_OK(output->next != output->end)) return LiteralInflateStatus::kOverrun;
    *output->next++ = static_cast<uint8_t>(code.symbol);
  }
}

}  // namespace quorvel
