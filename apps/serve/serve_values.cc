#include "apps/serve/serve_values.h"

#include <cerrno>
#include <cstdlib>

namespace quorvel::serve {

namespace {

constexpr int64_t kMaxDimension = 16384;

bool parse_positive(const std::string& text, int64_t max, int64_t* value) {
  if (text.empty() || text.size() > 10 ||
      text.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  errno = 0;
  *value = std::strtoll(text.c_str(), nullptr, 10);
  return errno == 0 && *value > 0 && *value <= max;
}

}  // namespace

bool parse_frame_size(const std::string& text, int32_t* width, int32_t* height) {
  const size_t x = text.find('x');
  int64_t w = 0;
  int64_t h = 0;
  if (x == std::string::npos || !parse_positive(text.substr(0, x), kMaxDimension, &w) ||
      !parse_positive(text.substr(x + 1), kMaxDimension, &h) || w % 2 != 0) {
    return false;
  }
  *width = static_cast<int32_t>(w);
  *height = static_cast<int32_t>(h);
  return true;
}

bool parse_frame_rate(const std::string& text, uint32_t* rate, uint32_t* scale) {
  const size_t slash = text.find('/');
  int64_t numerator = 0;
  int64_t denominator = 1;
  if (!parse_positive(text.substr(0, slash), UINT32_MAX, &numerator)) return false;
  if (slash != std::string::npos &&
      !parse_positive(text.substr(slash + 1), UINT32_MAX, &denominator)) {
    return false;
  }
  *rate = static_cast<uint32_t>(numerator);
  *scale = static_cast<uint32_t>(denominator);
  return true;
}

}  // namespace quorvel::serve
