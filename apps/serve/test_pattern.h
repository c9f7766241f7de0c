// TestPattern: the stand-in host's built-in video. 75% colour bars with a box that moves
// across them, a scrolling grey ramp with a little deterministic noise below, and the
// frame number in large digits, so that every frame differs and compression has real
// work. Frame n depends on n alone: the same n always renders the same bytes.
#ifndef QUORVEL_APPS_SERVE_TEST_PATTERN_H_
#define QUORVEL_APPS_SERVE_TEST_PATTERN_H_

#include "apps/serve/media_source.h"

namespace quorvel::serve {

class TestPattern : public VideoSource {
 public:
  // REQUIRES: even width > 0, height > 0.
  explicit TestPattern(const VideoFormat& format) : format_(format) {}

  const VideoFormat& format() const override { return format_; }
  bool render(int32_t n, uint8_t* yuy2, std::string* problem) override;

 private:
  void draw_bars(uint8_t* yuy2, int32_t bottom) const;
  void draw_ramp(uint8_t* yuy2, int32_t top, int32_t n) const;
  void draw_box(uint8_t* yuy2, int32_t bottom, int32_t n) const;
  void draw_counter(uint8_t* yuy2, int32_t n) const;
  void fill_rect(uint8_t* yuy2, int32_t left, int32_t top, int32_t right, int32_t bottom, uint8_t y,
                 uint8_t u, uint8_t v) const;

  VideoFormat format_;
};

}  // namespace quorvel::serve

#endif  // QUORVEL_APPS_SERVE_TEST_PATTERN_H_
