#include "apps/fetch/y4m_writer.h"

#include <numeric>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quorvel::client {

std::string y4m_stream_header(const Y4mStreamFormat& format) {
  const uint32_t divisor = std::gcd(format.rate, format.scale);
  const uint32_t rate = divisor == 0 ? format.rate : format.rate / divisor;
  const uint32_t scale = divisor == 0 ? format.scale : format.scale / divisor;
  std::string header = "YUV4MPEG2 W" + std::to_string(format.width) + " H" +
                       std::to_string(format.height) + " F" + std::to_string(rate) + ":" +
                       std::to_string(scale) + " I";
  header += y4m_interlace_tag(format.field_order);
  header += " A0:0 C422 XLENGTH=" + std::to_string(format.frame_count) + "\n";
  return header;
}

namespace {

#if defined(__SSE2__)
// 16 pairs (64 bytes of Y0 U Y1 V) into 32 Y, 16 Cb and 16 Cr bytes: the even bytes of each
// 16-bit lane are kept by masking, the odd ones by shifting, and packus narrows both.
size_t split_pairs_sse2(const uint8_t* yuy2, size_t pairs, uint8_t* y, uint8_t* cb, uint8_t* cr) {
  const __m128i low_bytes = _mm_set1_epi16(0x00FF);
  size_t pair = 0;
  for (; pairs - pair >= 16; pair += 16) {
    const uint8_t* in = yuy2 + pair * 4;
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16));
    const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 32));
    const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 48));
    const __m128i y_ab = _mm_packus_epi16(_mm_and_si128(a, low_bytes), _mm_and_si128(b, low_bytes));
    const __m128i y_cd = _mm_packus_epi16(_mm_and_si128(c, low_bytes), _mm_and_si128(d, low_bytes));
    const __m128i uv_ab = _mm_packus_epi16(_mm_srli_epi16(a, 8), _mm_srli_epi16(b, 8));
    const __m128i uv_cd = _mm_packus_epi16(_mm_srli_epi16(c, 8), _mm_srli_epi16(d, 8));
    const __m128i u =
        _mm_packus_epi16(_mm_and_si128(uv_ab, low_bytes), _mm_and_si128(uv_cd, low_bytes));
    const __m128i v = _mm_packus_epi16(_mm_srli_epi16(uv_ab, 8), _mm_srli_epi16(uv_cd, 8));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(y + 2 * pair), y_ab);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(y + 2 * pair + 16), y_cd);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(cb + pair), u);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(cr + pair), v);
  }
  return pair;
}
#endif

}  // namespace

void yuy2_to_planar_422(const uint8_t* yuy2, int32_t width, int32_t height,
                        std::vector<uint8_t>* planar) {
  const size_t luma_size = static_cast<size_t>(width) * static_cast<size_t>(height);
  const size_t chroma_size = luma_size / 2;
  planar->resize(luma_size * 2);
  uint8_t* y = planar->data();
  uint8_t* cb = y + luma_size;
  uint8_t* cr = cb + chroma_size;
  const size_t pairs = luma_size / 2;  // rows are packed, so the whole frame is one run of pairs
  size_t pair = 0;
#if defined(__SSE2__)
  pair = split_pairs_sse2(yuy2, pairs, y, cb, cr);
#endif
  for (; pair < pairs; ++pair) {
    const uint8_t* quad = yuy2 + pair * 4;
    y[2 * pair] = quad[0];
    cb[pair] = quad[1];
    y[2 * pair + 1] = quad[2];
    cr[pair] = quad[3];
  }
}

}  // namespace quorvel::client
