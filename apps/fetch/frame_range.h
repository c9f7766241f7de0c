// FrameRange: the frames the user asks for with --frames: "A-B" (both included), "A-"
// (from A to the end) or "N" (one frame); all frames when not given.
#ifndef QUORVEL_APPS_FETCH_FRAME_RANGE_H_
#define QUORVEL_APPS_FETCH_FRAME_RANGE_H_

#include <cstdint>
#include <string>

namespace quorvel::client {

struct FrameRange {
  int32_t first = 0;
  int32_t last = -1;  // -1: up to the stream's last frame
};

// False for text that is none of the three forms, or for B < A.
bool parse_frame_range(const std::string& text, FrameRange* range);

// The range with its end fixed for a stream of frame_count frames; false (and *problem)
// when it reaches past the stream.
bool resolve_frame_range(const FrameRange& requested, int32_t frame_count, FrameRange* resolved,
                         std::string* problem);

}  // namespace quorvel::client

#endif  // QUORVEL_APPS_FETCH_FRAME_RANGE_H_
