// The YUV4MPEG2 stream the client writes: a C422 header from the stream's size, rate and
// field order, then per frame `FRAME\n` and the packed YUY2 frame de-interleaved into the
// planes Y (w*h), Cb (w/2*h), Cr (w/2*h).
#ifndef QUORVEL_APPS_FETCH_Y4M_WRITER_H_
#define QUORVEL_APPS_FETCH_Y4M_WRITER_H_

#include <cstdint>
#include <string>
#include <vector>

#include "apps/fetch/field_order.h"

namespace quorvel::client {

struct Y4mStreamFormat {
  int32_t width = 0;
  int32_t height = 0;
  uint32_t rate = 0;  // frames per `scale` seconds
  uint32_t scale = 0;
  FieldOrder field_order = FieldOrder::kProgressive;  // REQUIRES: not kAuto
  int32_t frame_count = 0;  // frames the file will hold, written as XLENGTH
};

// e.g. "YUV4MPEG2 W720 H480 F30000:1001 It A0:0 C422 XLENGTH=300\n"; the rate is reduced
// by the greatest common divisor of rate and scale.
std::string y4m_stream_header(const Y4mStreamFormat& format);

constexpr char kY4mFrameHeader[] = "FRAME\n";

// De-interleaves one packed YUY2 frame (height rows of width * 2 bytes, Y0 U Y1 V) into
// planar 4:2:2. REQUIRES: even width; yuy2 holds width * 2 * height bytes; planar is
// resized to the same size.
void yuy2_to_planar_422(const uint8_t* yuy2, int32_t width, int32_t height,
                        std::vector<uint8_t>* planar);

}  // namespace quorvel::client

#endif  // QUORVEL_APPS_FETCH_Y4M_WRITER_H_
