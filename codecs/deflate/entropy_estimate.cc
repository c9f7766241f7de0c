#include "codecs/deflate/entropy_estimate.h"

namespace quorvel {
namespace {

constexpr uint32_t kTableBits = 8;
constexpr uint32_t kTableSize = 1u << kTableBits;

// log2(1 + i / 256) for i = 0..256 in 1/65536 units, worked out by the compiler from
// ln(y) = 2 atanh((y - 1) / (y + 1)), so no floating point runs at encode time.
struct Log2Table {
  uint32_t entry[kTableSize + 1];
};

constexpr Log2Table make_log2_table() {
  Log2Table table{};
  constexpr double kLn2 = 0.69314718055994530942;
  for (uint32_t i = 0; i <= kTableSize; ++i) {
    const double y = 1.0 + static_cast<double>(i) / kTableSize;
    const double z = (y - 1.0) / (y + 1.0);
    double power = z;
    double sum = 0.0;
    for (int k = 0; k < 40; ++k) {
      sum += power / (2 * k + 1);
      power *= z * z;
    }
    table.entry[i] = static_cast<uint32_t>(2.0 * sum / kLn2 * 65536.0 + 0.5);
  }
  return table;
}

constexpr Log2Table kLog2 = make_log2_table();

// c * log2(c) in 1/65536 units for the small counts that most values of a chunk have: one
// look-up instead of a logarithm.
constexpr uint32_t kSmallCounts = 4096;
struct CountLogTable {
  uint32_t entry[kSmallCounts];
};

constexpr CountLogTable make_count_log_table() {
  CountLogTable table{};
  constexpr double kLn2 = 0.69314718055994530942;
  for (uint32_t c = 1; c < kSmallCounts; ++c) {
    uint32_t exponent = 0;
    while ((c >> (exponent + 1)) != 0) ++exponent;
    const double y = static_cast<double>(c) / static_cast<double>(1u << exponent);
    const double z = (y - 1.0) / (y + 1.0);
    double power = z;
    double sum = 0.0;
    for (int k = 0; k < 40; ++k) {
      sum += power / (2 * k + 1);
      power *= z * z;
    }
    const double log2c = exponent + 2.0 * sum / kLn2;
    table.entry[c] = static_cast<uint32_t>(c * log2c * 65536.0 + 0.5);
  }
  return table;
}

constexpr CountLogTable kCountLog = make_count_log_table();

uint64_t count_times_log2(uint32_t c) {
  if (c < kSmallCounts) return kCountLog.entry[c];
  return static_cast<uint64_t>(c) * log2_fixed(c);
}

}  // namespace

uint32_t log2_fixed(uint32_t c) {
  // c | 1 keeps clz defined for 0; 0 and 1 then both come out as exponent 0, mantissa 0.
  const auto exponent = static_cast<uint32_t>(31 - __builtin_clz(c | 1u));
  const uint32_t mantissa = (c << (31 - exponent)) & 0x7FFFFFFFu;  // leading 1 dropped
  const uint32_t index = mantissa >> (31 - kTableBits);
  const uint32_t fraction = (mantissa >> (31 - kTableBits - 15)) & 0x7FFFu;  // 15 bits
  const uint32_t low = kLog2.entry[index];
  const uint32_t step = kLog2.entry[index + 1] - low;
  return (exponent << kEntropyFractionBits) + low + ((step * fraction) >> 15);
}

uint64_t entropy_bits_fixed(const uint32_t counts[256]) {
  uint64_t total = 0;
  uint64_t sum = 0;
  for (uint32_t v = 0; v < 256; ++v) {
    total += counts[v];
    sum += count_times_log2(counts[v]);  // entry 0 is 0
  }
  if (total == 0) return 0;
  // total * log2(total), total up to 2^32 * 256: split so that the 32-bit log applies.
  uint64_t total_log;
  if (total <= UINT32_MAX) {
    total_log = total * log2_fixed(static_cast<uint32_t>(total));
  } else {
    total_log =
        total * (log2_fixed(static_cast<uint32_t>(total >> 8)) + (8u << kEntropyFractionBits));
  }
  return total_log > sum ? total_log - sum : 0;
}

}  // namespace quorvel
