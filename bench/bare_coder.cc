#include "bench/bare_coder.h"

#include <zlib.h>

#include <cstring>
#include <vector>

#include "codecs/lzo_api.h"

namespace quorvel::bench {

namespace {

class BareLzo : public BareCoder {
 public:
  BareLzo() : work_(LZO1X_1_MEM_COMPRESS) { (void)lzo_init(); }
  std::string compress_name() const override { return "lzo1x_1_compress"; }
  std::string decompress_name() const override { return "lzo1x_decompress_safe"; }
  int32_t capacity(int32_t n) const override { return n + n / 16 + 64 + 3; }
  int32_t compress(const uint8_t* in, int32_t n, uint8_t* out) override {
    lzo_uint length = 0;
    if (lzo1x_1_compress(in, static_cast<lzo_uint>(n), out, &length, work_.data()) != LZO_E_OK)
      return 0;
    return static_cast<int32_t>(length);
  }
  int32_t decompress(const uint8_t* in, int32_t length, uint8_t* out, int32_t n) override {
    lzo_uint produced = static_cast<lzo_uint>(n);
    (void)lzo1x_decompress_safe(in, static_cast<lzo_uint>(length), out, &produced, nullptr);
    return static_cast<int32_t>(produced);
  }

 private:
  std::vector<uint8_t> work_;
};

class BareZlib : public BareCoder {
 public:
  BareZlib(int level, int strategy, std::string label)
      : level_(level), strategy_(strategy), label_(std::move(label)) {}
  std::string compress_name() const override { return "zlib deflate " + label_; }
  std::string decompress_name() const override { return "zlib inflate"; }
  int32_t capacity(int32_t n) const override {
    return static_cast<int32_t>(compressBound(static_cast<uLong>(n)));
  }
  int32_t compress(const uint8_t* in, int32_t n, uint8_t* out) override {
    z_stream stream;
    std::memset(&stream, 0, sizeof stream);
    if (deflateInit2(&stream, level_, Z_DEFLATED, 15, 8, strategy_) != Z_OK) return 0;
    stream.next_in = const_cast<Bytef*>(in);
    stream.avail_in = static_cast<uInt>(n);
    stream.next_out = out;
    stream.avail_out = static_cast<uInt>(capacity(n));
    const int result = deflate(&stream, Z_FINISH);
    const uLong length = stream.total_out;
    deflateEnd(&stream);
    return result == Z_STREAM_END ? static_cast<int32_t>(length) : 0;
  }
  int32_t decompress(const uint8_t* in, int32_t length, uint8_t* out, int32_t n) override {
    z_stream stream;
    std::memset(&stream, 0, sizeof stream);
    if (inflateInit(&stream) != Z_OK) return 0;
    stream.next_in = const_cast<Bytef*>(in);
    stream.avail_in = static_cast<uInt>(length);
    stream.next_out = out;
    stream.avail_out = static_cast<uInt>(n);
    (void)inflate(&stream, Z_FINISH);
    const uLong produced = stream.total_out;
    inflateEnd(&stream);
    return static_cast<int32_t>(produced);
  }

 private:
  int level_;
  int strategy_;
  std::string label_;
};

}  // namespace

std::unique_ptr<BareCoder> make_bare_lzo() {
  return std::make_unique<BareLzo>();
}

std::unique_ptr<BareCoder> make_bare_zlib(int level, int strategy, std::string label) {
  return std::make_unique<BareZlib>(level, strategy, std::move(label));
}

}  // namespace quorvel::bench
