// Differential fuzz target for the type-2 payload decoders: fano_expand (several codes per
// look-up), fano_expand_one_code_per_lookup and fano_expand_reference must agree exactly on
// every payload and every n: same status, same tree result, same bytes_written, and the same
// bytes in the whole destination, including those past the decoded ones, which must keep
// what was there before.
//
// Input: the payload or source, then the parameters, taken from the end:
//   mode    bit 0: 0 = the bytes are the payload as they are; 1 = they are a source, repeated
//                  to `size` bytes, each shifted right by bits 1-3 (fewer values, shorter
//                  codes), and encoded with the real encoder, so that the fast paths run
//           bits 4-5: bits of the encoded payload to flip (0 to 3)
//           bit 6: cut the encoded payload short
//   size    (2 bytes) the source's length in encoded mode, n in raw mode; at most 16384
// and in encoded mode:
//   delta   (1 byte) n is the source's length plus delta - 128, at least 0
//   flips   (3 x 2 bytes) the bits to flip, modulo the payload's bits
//   cut     (2 bytes) the length to cut to, modulo the payload's length plus one
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "codecs/byte_histogram.h"
#include "codecs/fano/fano_code_builder.h"
#include "codecs/fano/fano_compress.h"
#include "codecs/fano/fano_expand_variants.h"
#include "codecs/fano/fano_pair_code_table.h"
#include "fuzz/fuzz_input.h"

namespace quorvel {
namespace {

using Bytes = std::vector<uint8_t>;
using Expander = FanoExpandResult (*)(const uint8_t*, uint8_t*, uint32_t, uint32_t);

// The reference looks at every record for every position: keep the frames small.
constexpr uint32_t kMaxPositions = 16384;

void require(bool condition) {
  if (!condition) __builtin_trap();
}

struct Case {
  Bytes payload;
  uint32_t n;
};

// The source the input describes: its bytes repeated to `size`, each shifted right.
Bytes make_source(const FuzzInput& input, uint32_t size, uint32_t shift) {
  Bytes source(input.size() == 0 ? 0 : size);
  for (size_t i = 0; i < source.size(); ++i) {
    source[i] = static_cast<uint8_t>(input.data()[i % input.size()] >> shift);
  }
  return source;
}

// Empty when the source has no code (no bytes, or a code longer than 32 bits).
Bytes encode(const Bytes& source) {
  const uint32_t n = static_cast<uint32_t>(source.size());
  uint32_t counts[kFanoSymbolCount];
  count_bytes(source.data(), n, counts);
  FanoCodeBook code;
  if (build_fano_code(counts, &code) != FanoBuildResult::kOk) return {};
  Bytes payload(static_cast<size_t>(fano_bytes_for_bits(code.stream_bits)));
  static FanoPairCodeTable pairs;
  fano_compress(code, source.data(), n, payload.data(), &pairs);
  return payload;
}

// Bit flips and a cut of an encoded payload, as the input asks for them.
struct Damage {
  uint32_t flips;  // 0 to 3
  uint16_t flip_at[3];
  bool cut;
  uint16_t cut_to;
};

Damage take_damage(uint8_t mode, FuzzInput& input) {
  Damage damage{(mode >> 4) & 3u, {}, (mode & 0x40u) != 0, 0};
  for (uint16_t& at : damage.flip_at) at = input.take_u16();
  damage.cut_to = input.take_u16();
  return damage;
}

void apply(const Damage& damage, Bytes* payload) {
  for (uint32_t i = 0; i < damage.flips && !payload->empty(); ++i) {
    const uint32_t bit = damage.flip_at[i] % static_cast<uint32_t>(payload->size() * 8);
    (*payload)[bit / 8] = static_cast<uint8_t>((*payload)[bit / 8] ^ (0x80u >> (bit % 8)));
  }
  if (damage.cut) payload->resize(damage.cut_to % (payload->size() + 1));
}

Case make_case(FuzzInput& input) {
  const uint8_t mode = input.take_byte();
  const uint32_t size = input.take_u16() % (kMaxPositions + 1);
  if ((mode & 1u) == 0) return Case{Bytes(input.data(), input.data() + input.size()), size};

  const int32_t delta = static_cast<int32_t>(input.take_byte()) - 128;
  const Damage damage = take_damage(mode, input);
  const Bytes source = make_source(input, size, (mode >> 1) & 7u);
  Bytes payload = encode(source);
  apply(damage, &payload);
  const int64_t n = static_cast<int64_t>(source.size()) + delta;
  return Case{payload, static_cast<uint32_t>(n < 0 ? 0 : n)};
}

struct Decoded {
  FanoExpandResult result;
  Bytes block;
};

Decoded expand_with(Expander expander, const Case& c) {
  // Blocks of exactly their size, so that a read or write past either end is caught.
  const std::unique_ptr<uint8_t[]> payload(new uint8_t[c.payload.size()]);
  if (!c.payload.empty()) std::memcpy(payload.get(), c.payload.data(), c.payload.size());
  const std::unique_ptr<uint8_t[]> block(new uint8_t[c.n]);
  // A pattern that differs from byte to byte, so that the bytes past the decoded ones show
  // whether they were left alone or put back from the wrong place.
  for (uint32_t i = 0; i < c.n; ++i) block[i] = static_cast<uint8_t>(i * 151u + 7u);
  const FanoExpandResult result =
      expander(payload.get(), block.get(), static_cast<uint32_t>(c.payload.size()), c.n);
  return Decoded{result, Bytes(block.get(), block.get() + c.n)};
}

void require_same(const Decoded& a, const Decoded& b) {
  require(a.result.status == b.result.status);
  require(a.result.tree_result == b.result.tree_result);
  require(a.result.bytes_written == b.result.bytes_written);
  require(a.block == b.block);
}

}  // namespace
}  // namespace quorvel

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace quorvel;
  FuzzInput input(data, size);
  const Case c = make_case(input);
  const Decoded reference = expand_with(fano_expand_reference, c);
  require(reference.result.bytes_written <= c.n);
  require_same(expand_with(fano_expand, c), reference);
  require_same(expand_with(fano_expand_one_code_per_lookup, c), reference);
  return 0;
}
