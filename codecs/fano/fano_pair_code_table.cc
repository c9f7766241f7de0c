#include "codecs/fano/fano_pair_code_table.h"

namespace quorvel {

void FanoPairCodeTable::build(const FanoCodeBook& code) {
  for (uint32_t second = 0; second < kFanoSymbolCount; ++second) {
    const FanoSymbol& last = code.symbols[second];
    FanoPairCode* row = entries_ + second * kFanoSymbolCount;
    for (uint32_t first = 0; first < kFanoSymbolCount; ++first) {
      const FanoSymbol& head = code.symbols[first];
      const uint32_t length = head.code_length + last.code_length;
      // 64-bit, so that a 32-bit second code shifts the first one out without undefined
      // behaviour; such pairs are unpaired anyway.
      const uint64_t joined = static_cast<uint64_t>(head.code) << last.code_length | last.code;
      row[first] = length <= kMaxPairLength ? FanoPairCode{static_cast<uint32_t>(joined), length}
                                            : FanoPairCode{0, kUnpairedLength};
    }
  }
}

}  // namespace quorvel
