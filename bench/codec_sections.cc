// The three compressing codecs, each against the packaged library call that does its job.
#include <zlib.h>

#include <string>

#include "bench/codec_comparison.h"
#include "bench/deflate_stage_comparison.h"
#include "bench/fano_expand_comparison.h"
#include "bench/sections.h"
#include "codecs/deflate/stream_inflater.h"

namespace quorvel::bench {

bool run_lzo_section(const BenchContext& context) {
  const auto bare = make_bare_lzo();
  return run_codec_comparison(
      context, {"LZO codec against bare liblzo2 (same filtered frame; filter included in both)",
                kCompressionLzo, bare.get(), Target::at_most(1.10), Target::none(), true});
}

bool run_deflate_section(const BenchContext& context) {
  // The codec writes the stream zlib's Huffman-only mode writes (level 1, 32 KiB window,
  // memory level 8) with an encoder of its own: at least 5x zlib's speed, and a payload at
  // most 1 % larger than zlib's stream plus the codec's 4-byte checksum copy. Its payload
  // is checked by inflating it, not against zlib's bytes. Its decode (libdeflate where that
  // is built) is timed against zlib's inflate of the same payload: at least 3.3x its speed. The
  // stages of the decode are timed apart on the same stream.
  const auto bare = make_bare_zlib(1, Z_HUFFMAN_ONLY, "lvl1 huffman");
  const bool codec_ok = run_codec_comparison(
      context, {"Deflate codec against bare zlib Huffman-only deflate of the same filtered frame",
                kCompressionDeflate, bare.get(), Target::at_most(0.20), Target::at_most(0.30),
                false, Target::at_most(1.01), 4, true,
                std::string("literal stage, then ") + StreamInflater::engine_name()});
  return run_deflate_stage_comparison(context) && codec_ok;
}

bool run_fano_section(const BenchContext& context) {
  // zlib's Huffman-only mode is the nearest packaged coder doing the Fano codec's job: one
  // prefix code over the byte values, no matches. The target asks for 5x its speed.
  const auto bare = make_bare_zlib(1, Z_HUFFMAN_ONLY, "lvl1 huffman");
  const bool codec_ok = run_codec_comparison(
      context, {"Fano codec against zlib Huffman-only deflate/inflate", kCompressionFano,
                bare.get(), Target::at_most(0.20), Target::at_most(1.00), false});
  return run_fano_expand_comparison(context) && codec_ok;
}

}  // namespace quorvel::bench
