#include "codecs/fano/fano_pair_code_table.h"

namespace quorvel {

bool FanoPairCodeTable::holds(const FanoCodeBook& code) const {
  if (!any_made_) return false;
  for (uint32_t v = 0; v < kFanoSymbolCount; ++v) {
    const FanoSymbol& symbol = code.symbols[v];
    if (symbol.count > 0 &&
        (made_length_[v] != symbol.code_length || made_code_[v] != symbol.code)) {
      return false;
    }
  }
  return true;
}

void FanoPairCodeTable::build(const FanoCodeBook& code) {
  if (holds(code)) return;
  uint8_t present[kFanoSymbolCount];
  uint32_t present_count = 0;
  for (uint32_t v = 0; v < kFanoSymbolCount; ++v) {
    const FanoSymbol& symbol = code.symbols[v];
    const bool counted = symbol.count > 0;
    if (counted) present[present_count++] = static_cast<uint8_t>(v);
    made_code_[v] = counted ? symbol.code : kNotMade;
    made_length_[v] = counted ? symbol.code_length : kNotMade;
  }
  for (uint32_t j = 0; j < present_count; ++j) {
    const FanoSymbol& last = code.symbols[present[j]];
    FanoPairCode* row = entries_ + static_cast<uint32_t>(present[j]) * kFanoSymbolCount;
    for (uint32_t i = 0; i < present_count; ++i) {
      const FanoSymbol& head = code.symbols[present[i]];
      const uint32_t length = head.code_length + last.code_length;
      // 64-bit, so that a 32-bit second code shifts the first one out without undefined
      // behaviour; such pairs are unpaired anyway.
      const uint64_t joined = static_cast<uint64_t>(head.code) << last.code_length | last.code;
      row[present[i]] = length <= kMaxPairLength
                            ? FanoPairCode{static_cast<uint32_t>(joined), length}
                            : FanoPairCode{0, kUnpairedLength};
    }
  }
  any_made_ = true;
}

}  // namespace quorvel
