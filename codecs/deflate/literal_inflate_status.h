// How the literal inflater ended a stream: complete, or why it did not take it (the general
// inflater then decides the stream from its start).
#ifndef QUORVEL_CODECS_DEFLATE_LITERAL_INFLATE_STATUS_H_
#define QUORVEL_CODECS_DEFLATE_LITERAL_INFLATE_STATUS_H_

namespace quorvel {

enum class LiteralInflateStatus {
  kComplete,          // every block decoded, the trailer matched, the output fitted
  kBadHeader,         // not a zlib header of deflate with at most a 32 KiB window, or a dictionary
  kBadBlock,          // block type 3, a stored block's NLEN, or a dynamic header or code refused
  kNotLiteral,        // a length symbol: the stream has matches
  kTruncated,         // the stream ends before its trailer does
  kOverrun,           // the output would not fit the capacity
  kChecksumMismatch,  // the trailer holds another Adler-32
};

}  // namespace quorvel

#endif  // QUORVEL_CODECS_DEFLATE_LITERAL_INFLATE_STATUS_H_
