#include "apps/fetch/frame_range.h"

#include <cerrno>
#include <cstdlib>

namespace quorvel::client {

namespace {

// A whole decimal number 0..INT32_MAX, nothing else.
bool parse_frame_number(const std::string& text, int32_t* number) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
  errno = 0;
  const long long value = std::strtoll(text.c_str(), nullptr, 10);
  if (errno != 0 || value > INT32_MAX) return false;
  *number = static_cast<int32_t>(value);
  return true;
}

}  // namespace

bool parse_frame_range(const std::string& text, FrameRange* range) {
  const size_t dash = text.find('-');
  FrameRange parsed;
  if (!text.empty() && text[0] == ':') {
    int32_t count = 0;
    if (!parse_frame_number(text.substr(1), &count) || count == 0) return false;
    parsed.last = count - 1;
  } else if (dash == std::string::npos) {
    if (!parse_frame_number(text, &parsed.first)) return false;
    parsed.last = parsed.first;
  } else {
    if (!parse_frame_number(text.substr(0, dash), &parsed.first)) return false;
    const std::string end = text.substr(dash + 1);
    if (!end.empty() && (!parse_frame_number(end, &parsed.last) || parsed.last < parsed.first)) {
      return false;
    }
  }
  *range = parsed;
  return true;
}

bool resolve_frame_range(const FrameRange& requested, int32_t frame_count, FrameRange* resolved,
                         std::string* problem) {
  const int32_t last = requested.last < 0 ? frame_count - 1 : requested.last;
  // "Everything" of an empty stream is the empty range, not an error.
  const bool whole_stream = requested.first == 0 && requested.last < 0;
  if (!whole_stream && frame_count <= 0) {
    *problem = "the stream has no frames";
    return false;
  }
  if (!whole_stream && requested.first >= frame_count) {
    *problem = "frame " + std::to_string(requested.first) + " is past the last frame (" +
               std::to_string(frame_count - 1) + ")";
    return false;
  }
  if (!whole_stream && last >= frame_count) {
    *problem = "frames " + std::to_string(requested.first) + "-" + std::to_string(last) +
               " reach past the stream's " + std::to_string(frame_count) + " frames";
    return false;
  }
  resolved->first = requested.first;
  resolved->last = last;
  return true;
}

}  // namespace quorvel::client
