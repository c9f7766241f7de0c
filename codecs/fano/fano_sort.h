// The one stable sort of the prefix-code family: an insertion sort of FanoSymbol entries in
// place. Entries that neither goes before keep their order, which the format's code needs
// (equal counts stay in ascending value order; equal code lengths in tree order). At most
// 256 entries, no allocation.
#ifndef QUORVEL_CODECS_FANO_FANO_SORT_H_
#define QUORVEL_CODECS_FANO_FANO_SORT_H_

#include <cstdint>

#include "codecs/fano/fano_format.h"

namespace quorvel {

// goes_before(a, b): true when a must stand before b.
template <typename GoesBefore>
void stable_sort_fano_symbols(FanoSymbol* entries, uint32_t count, GoesBefore goes_before) {
  for (uint32_t i = 1; i < count; ++i) {
    const FanoSymbol entry = entries[i];
    uint32_t j = i;
    while (j > 0 && goes_before(entry, entries[j - 1])) {
      entries[j] = entries[j - 1];
      --j;
    }
    entries[j] = entry;
  }
}

}  // namespace quorvel

#endif  // QUORVEL_CODECS_FANO_FANO_SORT_H_
