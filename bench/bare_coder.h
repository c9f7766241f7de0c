// BareCoder: a packaged library's own compressor and decompressor, called the plain way,
// as the anchor that a codec of ours is measured against on the same filtered frame.
#ifndef QUORVEL_BENCH_BARE_CODER_H_
#define QUORVEL_BENCH_BARE_CODER_H_

#include <cstdint>
#include <memory>
#include <string>

namespace quorvel::bench {

class BareCoder {
 public:
  virtual ~BareCoder() = default;
  // E.g. "lzo1x_1_compress", for the row names.
  virtual std::string compress_name() const = 0;
  virtual std::string decompress_name() const = 0;
  // Bytes that compress() may write for n input bytes.
  virtual int32_t capacity(int32_t n) const = 0;
  // Returns the compressed length, 0 on failure.
  virtual int32_t compress(const uint8_t* in, int32_t n, uint8_t* out) = 0;
  // Returns the bytes produced.
  virtual int32_t decompress(const uint8_t* in, int32_t length, uint8_t* out, int32_t n) = 0;
};

// lzo1x_1_compress / lzo1x_decompress_safe, with work memory of its own.
std::unique_ptr<BareCoder> make_bare_lzo();
// deflateInit2 (level, Z_DEFLATED, 15, 8, strategy) + deflate(Z_FINISH) + deflateEnd per call;
// inflateInit + inflate(Z_FINISH) + inflateEnd.
std::unique_ptr<BareCoder> make_bare_zlib(int level, int strategy, std::string label);

}  // namespace quorvel::bench

#endif  // QUORVEL_BENCH_BARE_CODER_H_
