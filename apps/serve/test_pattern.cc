#include "apps/serve/test_pattern.h"

#include <algorithm>
#include <string>

namespace quorvel::serve {

namespace {

struct YCbCr {
  uint8_t y, cb, cr;
};

// 75% bars in BT.601 limited range: white, yellow, cyan, green, magenta, red, blue.
constexpr YCbCr kBars[] = {{180, 128, 128}, {168, 44, 136}, {145, 147, 44}, {133, 63, 52},
                           {63, 193, 204},  {51, 109, 212}, {28, 212, 120}};
constexpr int kBarCount = sizeof kBars / sizeof kBars[0];

// 3x5 digits, one row per 3 bits, most significant bit leftmost.
constexpr uint8_t kDigits[10][5] = {
    {7, 5, 5, 5, 7}, {2, 6, 2, 2, 7}, {7, 1, 7, 4, 7}, {7, 1, 7, 1, 7}, {5, 5, 7, 1, 1},
    {7, 4, 7, 1, 7}, {7, 4, 7, 5, 7}, {7, 1, 1, 1, 1}, {7, 5, 7, 5, 7}, {7, 5, 7, 1, 7}};

// A small hash of position and frame: the same inputs always give the same noise.
uint8_t noise(int32_t x, int32_t y, int32_t n) {
  uint32_t h = static_cast<uint32_t>(x) * 0x9E3779B1u ^ static_cast<uint32_t>(y) * 0x85EBCA77u ^
               static_cast<uint32_t>(n) * 0xC2B2AE3Du;
  h ^= h >> 15;
  h *= 0x2C1B3C6Du;
  h ^= h >> 12;
  return static_cast<uint8_t>(h & 7);
}

}  // namespace

void TestPattern::fill_rect(uint8_t* yuy2, int32_t left, int32_t top, int32_t right, int32_t bottom,
                            uint8_t y, uint8_t u, uint8_t v) const {
  const int32_t row_bytes = format_.width * 2;
  left = std::max(0, left) & ~1;  // whole pixel pairs, so chroma stays paired
  right = std::min(format_.width, right);
  top = std::max(0, top);
  bottom = std::min(format_.height, bottom);
  for (int32_t row = top; row < bottom; ++row) {
    uint8_t* line = yuy2 + static_cast<size_t>(row) * static_cast<size_t>(row_bytes);
    for (int32_t x = left; x < right; x += 2) {  // width is even: x + 1 stays inside
      line[2 * x] = y;
      line[2 * x + 1] = u;
      line[2 * x + 2] = y;
      line[2 * x + 3] = v;
    }
  }
}

void TestPattern::draw_bars(uint8_t* yuy2, int32_t bottom) const {
  for (int bar = 0; bar < kBarCount; ++bar) {
    const int32_t left = format_.width * bar / kBarCount;
    const int32_t right = format_.width * (bar + 1) / kBarCount;
    fill_rect(yuy2, left, 0, right, bottom, kBars[bar].y, kBars[bar].cb, kBars[bar].cr);
  }
}

void TestPattern::draw_ramp(uint8_t* yuy2, int32_t top, int32_t n) const {
  const int32_t row_bytes = format_.width * 2;
  for (int32_t row = top; row < format_.height; ++row) {
    uint8_t* line = yuy2 + static_cast<size_t>(row) * static_cast<size_t>(row_bytes);
    for (int32_t x = 0; x < format_.width; ++x) {
      // Scrolls two pixels per frame; 16..235 across the width.
      const auto position = static_cast<int32_t>((x + 2 * int64_t{n}) % format_.width);
      const int32_t luma = 16 + position * 219 / format_.width;
      line[2 * x] = static_cast<uint8_t>(luma + noise(x, row, n));
      // Cb on even pixels, Cr on odd: a slow chroma sweep down the ramp.
      line[2 * x + 1] =
          static_cast<uint8_t>(x % 2 == 0 ? 96 + (row - top) % 64 : 160 - (row - top) % 64);
    }
  }
}

void TestPattern::draw_box(uint8_t* yuy2, int32_t bottom, int32_t n) const {
  const int32_t size = std::max(2, format_.height / 8);
  const int32_t travel = std::max(1, format_.width - size);
  // Back and forth across the bars, four pixels per frame.
  const auto step = static_cast<int32_t>(4 * int64_t{n} % (2 * int64_t{travel}));
  const int32_t left = step < travel ? step : 2 * travel - step;
  const int32_t top = std::max(0, bottom / 2 - size / 2);
  fill_rect(yuy2, left, top, left + size, top + size, 16, 128, 128);
  fill_rect(yuy2, left + 2, top + 1, left + size - 2, top + size - 1, 235, 128, 128);
}

void TestPattern::draw_counter(uint8_t* yuy2, int32_t n) const {
  const std::string digits = std::to_string(n);
  const int32_t scale = std::max(1, format_.height / 60);
  const int32_t cell = 4 * scale * 2;  // a digit and its gap, in pixels (even)
  fill_rect(yuy2, 0, 0, static_cast<int32_t>(digits.size()) * cell + 2 * scale, 7 * scale, 16, 128,
            128);
  for (size_t i = 0; i < digits.size(); ++i) {
    const uint8_t* glyph = kDigits[digits[i] - '0'];
    const int32_t origin = 2 * scale + static_cast<int32_t>(i) * cell;
    for (int32_t row = 0; row < 5; ++row) {
      for (int32_t column = 0; column < 3; ++column) {
        if ((glyph[row] >> (2 - column) & 1) == 0) continue;
        const int32_t x = origin + column * 2 * scale;
        const int32_t y = scale + row * scale;
        fill_rect(yuy2, x, y, x + 2 * scale, y + scale, 235, 128, 128);
      }
    }
  }
}

bool TestPattern::render(int32_t n, uint8_t* yuy2, std::string* /*problem*/) {
  const int32_t bars_bottom = format_.height * 2 / 3;
  draw_bars(yuy2, bars_bottom);
  draw_ramp(yuy2, bars_bottom, n);
  draw_box(yuy2, bars_bottom, n);
  draw_counter(yuy2, n);
  return true;
}

}  // namespace quorvel::serve
