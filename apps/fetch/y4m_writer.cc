#include "apps/fetch/y4m_writer.h"

#include <numeric>

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

void yuy2_to_planar_422(const uint8_t* yuy2, int32_t width, int32_t height,
                        std::vector<uint8_t>* planar) {
  const size_t luma_size = static_cast<size_t>(width) * static_cast<size_t>(height);
  const size_t chroma_size = luma_size / 2;
  planar->resize(luma_size * 2);
  uint8_t* y = planar->data();
  uint8_t* cb = y + luma_size;
  uint8_t* cr = cb + chroma_size;
  const size_t pairs = luma_size / 2;  // rows are packed, so the whole frame is one run of pairs
  for (size_t pair = 0; pair < pairs; ++pair) {
    const uint8_t* quad = yuy2 + pair * 4;
    y[2 * pair] = quad[0];
    cb[pair] = quad[1];
    y[2 * pair + 1] = quad[2];
    cr[pair] = quad[3];
  }
}

}  // namespace quorvel::client
