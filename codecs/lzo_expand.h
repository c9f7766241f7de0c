// lzo1x_expand: the LZO codec's fast decoder of LZO1X streams. liblzo2's safe decompressor
// copies every match shorter than four bytes apart one byte at a time, so a run of equal
// bytes (the vertical delta turns flat areas into long runs of zeros) decodes at a few
// hundred MB/s; this decoder fills runs with memset and copies everything else in 8- and
// 16-byte pieces where the buffers have room for them.
//
// It decodes only well-formed streams: those that liblzo2's lzo1x_decompress_safe accepts
// (LZO_E_OK) with the same output capacity, to the same bytes. Anything else (a stream that
// ends early, reaches back before the output, overruns it, carries a length longer than
// the output, or leaves bytes after its end-of-stream marker) makes it return false, and
// the caller decodes that stream with liblzo2 instead, so its result and status stay
// liblzo2's to the byte.
#ifndef QUORVEL_CODECS_LZO_EXPAND_H_
#define QUORVEL_CODECS_LZO_EXPAND_H_

#include <cstddef>
#include <cstdint>

namespace quorvel {

// Decodes the stream in [in, in + in_len) into out, which holds out_capacity bytes; true
// with *out_len = the bytes decoded when the stream is well-formed. Never reads outside the
// input nor writes outside [out, out + out_capacity); bytes after the decoded ones (and all
// of them when it returns false) may have been written and are the caller's to clear.
bool lzo1x_expand(const uint8_t* in, size_t in_len, uint8_t* out, size_t out_capacity,
                  size_t* out_len);

}  // namespace quorvel

#endif  // QUORVEL_CODECS_LZO_EXPAND_H_
