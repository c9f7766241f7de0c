#include "codecs/fano/fano_multi_symbol_run.h"

#include <cstring>

#include "codecs/fano/fano_ahead_bytes.h"
#include "codecs/fano/fano_bit_reader.h"
#include "codecs/fano/fano_bit_window.h"
#include "codecs/register_width.h"
#include "util/input_check.h"
#include "util/little_endian.h"

namespace quorvel {
namespace {

// The window word: 64 bits where that is a register. On a 32-bit target each variable 64-bit
// shift takes several instructions and two of its seven registers, and the window would be
// spilled on the look-ups' critical path: a 32-bit window, refilled twice as often, is faster.
#if QUORVEL_NARROW_REGISTERS
using WindowWord = uint32_t;
#else
using WindowWord = uint64_t;
#endif

// One 8-byte store of the entry's values, first value at the lowest address.
inline void store_symbols(uint8_t* out, uint64_t symbols) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  std::memcpy(out, &symbols, sizeof symbols);
#else
  put_le64(out, symbols);
#endif
}

template <typename Word>
struct RunShape {
  using Window = FanoBitWindow<Word>;
  // Look-ups per refill; each takes at most kFanoMultiTableBits bits.
  static constexpr uint32_t kLookupsPerRefill = Window::kBitsAfterRefill / kFanoMultiTableBits;
  // A group is four look-ups (two refills of a 32-bit window), so that the bytes kept past
  // the output and the bounds checks are paid once per four look-ups on either target.
  static constexpr uint32_t kRefills = 4 / kLookupsPerRefill;
  static_assert(kRefills * kLookupsPerRefill == 4, "a group is four look-ups");
  using Ahead = FanoAheadBytes<4 * kFanoMostSymbolsPerEntry>;
  // The payload bytes a group's refills may load from the window's next() on: each refill
  // moves next() on by at most a word less one byte.
  static constexpr uint32_t kGroupLoadBytes =
      Window::kWordBytes + (kRefills - 1) * (Window::kWordBytes - 1);
};

// A code that the multi-symbol table does not hold, matched on the payload itself: out of
// line, since only the rare long codes come here. Gives kFanoNoCode at a dead end, and where
// no whole word would be left after the code, for the exact decoder.
template <typename Word>
[[gnu::noinline]] FanoMatch match_long_code(const FanoRunTables& tables,
                                            const FanoExpandBuffers& io, uint64_t bit_pos) {
  const uint64_t window = fano_peek_bits(io.payload, io.payload_len, bit_pos);
  FanoMatch match = tables.long_codes.match(window);
  if (match.symbol == kFanoLongSearch) match = tables.single.match(window);
  if (!QUORVEL_INPUT_OK(match.symbol >= 0 &&
                        FanoBitWindow<Word>::can_open(io.payload_len, bit_pos + match.length))) {
    return FanoMatch{kFanoNoCode, 0};
  }
  return match;
}

// One group of look-ups. Every entry is stored whole (8 bytes) and the output moves on by
// its count, so the next store covers the bytes beyond. A long code is taken from the window
// with the long-code table when the window holds it and, after it, the bits that the look-ups
// up to the next refill need. Returns false, with the window at that code, at an entry that
// holds no whole code otherwise. Nothing in here calls out, so that the window and the
// output stay in registers (on i686 too).
template <typename Word>
bool decode_group(const FanoRunTables& tables, FanoBitWindow<Word>* window, uint8_t** out) {
  using Shape = RunShape<Word>;
  const FanoMultiSymbolTable& multi = tables.multi;
  uint8_t* at = *out;
  for (uint32_t refill = 0; refill < Shape::kRefills; ++refill) {
    window->refill();
    for (uint32_t i = 0; i < Shape::kLookupsPerRefill; ++i) {
      const uint64_t entry = multi.entry(window->template peek<kFanoMultiTableBits>());
      const uint32_t count = FanoMultiSymbolTable::symbol_count(entry);
      if (!QUORVEL_INPUT_OK(count != 0)) {
        const uint32_t later = kFanoMultiTableBits * (Shape::kLookupsPerRefill - 1 - i);
        if (!QUORVEL_INPUT_OK(window->bits_held() >= kFanoLongCodeTableBits)) {
          *out = at;
          return false;
        }
        const FanoMatch match = tables.long_codes.match(window->top_bits());
        if (!QUORVEL_INPUT_OK(match.symbol >= 0 && window->bits_held() >= match.length + later)) {
          *out = at;
          return false;
        }
        *at++ = static_cast<uint8_t>(match.symbol);
        window->consume(match.length);
        continue;
      }
      store_symbols(at, FanoMultiSymbolTable::symbols(entry));
      at += count;
      window->consume(FanoMultiSymbolTable::bit_count(entry));
    }
  }
  *out = at;
  return true;
}

// io comes by value so that its pointers stay in registers across the stores, which could
// otherwise alias them.
template <typename Word>
FanoRunResult run(const FanoRunTables& tables, FanoExpandBuffers io, FanoExpandCursor at) {
  using Shape = RunShape<Word>;
  using Window = typename Shape::Window;
  using Ahead = typename Shape::Ahead;
  const uint32_t positions_left = io.n - at.position;
  if (positions_left < Ahead::kKeptBytes || io.payload_len < Shape::kGroupLoadBytes ||
      !Window::can_open(io.payload_len, at.bit_pos)) {
    return FanoRunResult{at, FanoRunStop::kNearEnd};
  }
  // Each group starts only where its refills and its stores (and the bytes kept for them)
  // stay inside the payload and the destination: no check inside the group is needed.
  const uint8_t* const last_group_load = io.payload + (io.payload_len - Shape::kGroupLoadBytes);
  uint8_t* const first_out = io.destination + at.written;
  const uint8_t* const last_group = first_out + (positions_left - Ahead::kKeptBytes);

  Window window(io.payload, at.bit_pos);
  Ahead ahead(first_out);
  uint8_t* out = first_out;
  FanoRunStop stop = FanoRunStop::kNearEnd;
  while (QUORVEL_INPUT_OK(out <= last_group && window.next() <= last_group_load)) {
    ahead.move_to(out);
    if (QUORVEL_INPUT_OK(decode_group(tables, &window, &out))) continue;
    // A long code the group could not take is taken here and the run goes on with a new
    // group (the output has moved on by less than a group's reach); a dead end is the exact
    // decoder's.
    const uint64_t bit_pos = window.bit_position(io.payload);
    const FanoMatch match = match_long_code<Word>(tables, io, bit_pos);
    if (match.symbol < 0) {
      stop = FanoRunStop::kNeedsExactCode;
      break;
    }
    *out++ = static_cast<uint8_t>(match.symbol);
    window = Window(io.payload, bit_pos + match.length);
  }
  ahead.put_back(out);
  const uint32_t decoded = static_cast<uint32_t>(out - first_out);
  return FanoRunResult{FanoExpandCursor{window.bit_position(io.payload), at.position + decoded,
                                        at.written + decoded},
                       stop};
}

}  // namespace

FanoRunResult fano_multi_symbol_run(const FanoRunTables& tables, const FanoExpandBuffers& io,
                                    FanoExpandCursor at) {
  return run<WindowWord>(tables, io, at);
}

}  // namespace quorvel
