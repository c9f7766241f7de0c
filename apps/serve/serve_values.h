// The values quorvel-serve takes on its command line that CLI11 cannot check alone:
// a frame size "WxH" and a frame rate "N/D" (or "N").
#ifndef QUORVEL_APPS_SERVE_SERVE_VALUES_H_
#define QUORVEL_APPS_SERVE_SERVE_VALUES_H_

#include <cstdint>
#include <string>

namespace quorvel::serve {

// An even width and a height, each up to 16384 ("720x480"); false otherwise.
bool parse_frame_size(const std::string& text, int32_t* width, int32_t* height);

// Positive numerator and denominator ("30000/1001", "25"); false otherwise.
bool parse_frame_rate(const std::string& text, uint32_t* rate, uint32_t* scale);

}  // namespace quorvel::serve

#endif  // QUORVEL_APPS_SERVE_SERVE_VALUES_H_
