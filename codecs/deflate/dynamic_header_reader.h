// read_dynamic_header: the header of a dynamic deflate block read back (RFC 1951 section
// 3.2.7), after its BFINAL and BTYPE bits: HLIT, HDIST and HCLEN, the code-length code's
// lengths (3 bits each, in kCodeLengthOrder), then the literal/length and distance code
// lengths run-length coded with that code, as one sequence. Everything is checked as it is
// read, before any symbol of the block is decoded.
#ifndef QUORVEL_CODECS_DEFLATE_DYNAMIC_HEADER_READER_H_
#define QUORVEL_CODECS_DEFLATE_DYNAMIC_HEADER_READER_H_

#include <cstdint>

#include "codecs/deflate/deflate_bit_window.h"
#include "codecs/deflate/deflate_format.h"

namespace quorvel {

struct DynamicCodeLengths {
  uint8_t literal[kMaxLiteralLengthCodes];
  uint32_t literal_count;  // 257 to 286
};

enum class DynamicHeaderRead {
  kOk,
  kTruncated,  // the stream ends inside the header
  // HLIT or HDIST count more codes than the alphabets have; a code-length code that is not
  // complete; a repeat with nothing before it or past the last length; or a distance code
  // that is neither complete, nor one code of one bit, nor empty (what zlib takes).
  kInvalid,
};

// Reads the header from the window on, never past end; on kOk the window stands at the
// block's first code. The literal/length lengths are left for LiteralDecodeTable::build to
// check; the distance code is checked here, since a literal-only block never uses it.
DynamicHeaderRead read_dynamic_header(LiteralBitWindow* window, const uint8_t* end,
                                      DynamicCodeLengths* lengths);

}  // namespace quorvel

#endif  // QUORVEL_CODECS_DEFLATE_DYNAMIC_HEADER_READER_H_
