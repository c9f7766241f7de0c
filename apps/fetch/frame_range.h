// FrameRange: the frames the user asks for with --frames, numbered from 0: "A-B" (both
// included), "A-" (from A to the end), ":N" (the first N, 0 to N-1, as ffmpeg's and x264's
// frame counts mean) or "N" (frame N alone); all frames when not given.
#ifndef QUORVEL_APPS_FETCH_FRAME_RANGE_H_
#define QUORVEL_APPS_FETCH_FRAME_RANGE_H_

#include <cstdint>
#include <string>

namespace quorvel::client {

struct FrameRange {
  int32_t first = 0;
  int32_t last = -1;  // -1: up to the stream's last frame
};

// False for text that is none of the four forms, for B < A, or for ":0".
bool parse_frame_range(const std::string& text, FrameRange* range);

// The range with its end fixed for a stream of frame_count frames; false (and *problem)
// when it reaches past the stream.
bool resolve_frame_range(const FrameRange& requested, int32_t frame_count, FrameRange* resolved,
                         std::string* problem);

}  // namespace quorvel::client

#endif  // QUORVEL_APPS_FETCH_FRAME_RANGE_H_
