#include "bench/built_codecs.h"

#include <new>

#include "codecs/codec_factory.h"
#if QUORVEL_BENCH_HAVE_VERTICAL_DELTA
#include "codecs/vertical_delta.h"
#endif
#if QUORVEL_BENCH_HAVE_LZO_CODEC
#include "codecs/lzo_codec.h"
#endif
#if QUORVEL_BENCH_HAVE_FANO_CODEC
#include "codecs/fano_codec.h"
#endif
#if QUORVEL_BENCH_HAVE_DEFLATE_CODEC
#include "codecs/deflate_codec.h"
#endif

namespace quorvel::bench {

bool have_vertical_delta() { return QUORVEL_BENCH_HAVE_VERTICAL_DELTA != 0; }

bool have_codec(CompressionType type) {
  switch (type) {
    case kCompressionNone:
      return true;
    case kCompressionLzo:
      return QUORVEL_BENCH_HAVE_LZO_CODEC != 0;
    case kCompressionFano:
      return QUORVEL_BENCH_HAVE_FANO_CODEC != 0;
    case kCompressionDeflate:
      return QUORVEL_BENCH_HAVE_DEFLATE_CODEC != 0;
  }
  return false;
}

std::unique_ptr<FrameCodec> make_bench_codec(CompressionType type) {
  init_codec_libraries();
  switch (type) {
    case kCompressionNone:
      return std::unique_ptr<FrameCodec>(new (std::nothrow) RawCodec());
#if QUORVEL_BENCH_HAVE_LZO_CODEC
    case kCompressionLzo:
      return LzoCodec::create();
#endif
#if QUORVEL_BENCH_HAVE_FANO_CODEC
    case kCompressionFano:
      return std::unique_ptr<FrameCodec>(new (std::nothrow) FanoCodec());
#endif
#if QUORVEL_BENCH_HAVE_DEFLATE_CODEC
    case kCompressionDeflate:
      return DeflateCodec::create();
#endif
    default:
      return nullptr;
  }
}

const char* codec_class_name(CompressionType type) {
  switch (type) {
    case kCompressionNone:
      return "RawCodec";
    case kCompressionLzo:
      return "LzoCodec";
    case kCompressionFano:
      return "FanoCodec";
    case kCompressionDeflate:
      return "DeflateCodec";
  }
  return "?";
}

#if QUORVEL_BENCH_HAVE_VERTICAL_DELTA
void delta_forward(uint8_t* frame, int32_t row_bytes, int32_t rows) {
  VerticalDelta::forward(frame, row_bytes, rows, row_bytes);
}
void delta_inverse(uint8_t* frame, int32_t row_bytes, int32_t rows) {
  VerticalDelta::inverse(frame, row_bytes, rows, row_bytes);
}
#else
void delta_forward(uint8_t*, int32_t, int32_t) {}
void delta_inverse(uint8_t*, int32_t, int32_t) {}
#endif

std::vector<uint8_t> filtered_copy(const std::vector<uint8_t>& frame, int32_t row_bytes) {
  std::vector<uint8_t> filtered = frame;
  delta_forward(filtered.data(), row_bytes, static_cast<int32_t>(frame.size()) / row_bytes);
  return filtered;
}

}  // namespace quorvel::bench
