// fano_multi_symbol_run: the fast part of fano_expand. While a whole word of the payload is
// left to load and the output has room for the stores of a group of look-ups, it decodes
// several codes per look-up of a FanoMultiSymbolTable, and the codes longer than that table
// with a FanoLongCodeTable (or, for those it does not hold, the exact one-code table). It stops
// before a dead end and near either end, and leaves those positions to the exact decoder.
#ifndef QUORVEL_CODECS_FANO_FANO_MULTI_SYMBOL_RUN_H_
#define QUORVEL_CODECS_FANO_FANO_MULTI_SYMBOL_RUN_H_

#include <cstdint>

#include "codecs/fano/fano_decode_table.h"
#include "codecs/fano/fano_long_code_table.h"
#include "codecs/fano/fano_multi_symbol_table.h"

namespace quorvel {

// What a decoder reads and writes: payload holds payload_len bytes and is only read;
// destination holds n bytes, one for each position at most.
struct FanoExpandBuffers {
  const uint8_t* payload;
  uint32_t payload_len;
  uint8_t* destination;
  uint32_t n;
};

// Where decoding stands: the stream bit of the next code, the next position, and the bytes
// written (fewer than the positions once a dead end has given none).
struct FanoExpandCursor {
  uint64_t bit_pos;
  uint32_t position;
  uint32_t written;
};

enum class FanoRunStop {
  kNearEnd,         // too little payload or output is left for another group of look-ups
  kNeedsExactCode,  // the code at the cursor is a dead end, or one too near the payload's end
};

struct FanoRunResult {
  FanoExpandCursor cursor;
  FanoRunStop stop;
};

// The tables that the run decodes with, all of one tree.
struct FanoRunTables {
  const FanoMultiSymbolTable& multi;
  const FanoLongCodeTable& long_codes;
  const FanoDecodeTable& single;
};

// Decodes from `at` on, as the one-code-at-a-time decoder would, for as long as it can.
// The destination's bytes from the returned cursor's `written` on are left as they were.
// REQUIRES: at.position <= n and at.written <= at.position.
FanoRunResult fano_multi_symbol_run(const FanoRunTables& tables, const FanoExpandBuffers& io,
                                    FanoExpandCursor at);

}  // namespace quorvel

#endif  // QUORVEL_CODECS_FANO_FANO_MULTI_SYMBOL_RUN_H_
