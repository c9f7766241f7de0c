#include "tests/codecs/test_frames.h"

#include <algorithm>
#include <random>

namespace quorvel {
namespace {

uint8_t clamp_byte(int value) {
  return static_cast<uint8_t>(std::clamp(value, 0, 255));
}

// Byte `column` of a YUY2 row: Y0 U Y1 V per pair of pixels.
bool is_luma(int32_t column) {
  return column % 2 == 0;
}

uint8_t gradient_byte(int32_t column, int32_t row, uint32_t seed) {
  const int pixel = column / 2;
  if (is_luma(column)) return clamp_byte(16 + (pixel + row + static_cast<int>(seed)) % 220);
  return clamp_byte(128 + (column % 4 == 1 ? row / 4 : -pixel / 8) % 100);
}

struct Shape {
  int x, y, half_width, half_height;
  uint8_t luma, chroma_u, chroma_v;
};

std::vector<Shape> shapes_for(const FrameShape& frame, uint32_t seed) {
  std::mt19937 random(1234);  // the same shapes in every frame; seed moves them
  std::vector<Shape> shapes;
  const int width = std::max(1, frame.row_bytes / 2);
  for (int i = 0; i < 5; ++i) {
    Shape shape{};
    shape.half_width = 2 + static_cast<int>(random() % static_cast<uint32_t>(width / 4 + 1));
    shape.half_height = 2 + static_cast<int>(random() % static_cast<uint32_t>(frame.rows / 4 + 1));
    shape.x = static_cast<int>((random() + seed * (3u + static_cast<uint32_t>(i))) %
                               static_cast<uint32_t>(width));
    shape.y = static_cast<int>((random() + seed * (1u + static_cast<uint32_t>(i))) %
                               static_cast<uint32_t>(std::max(1, frame.rows)));
    shape.luma = static_cast<uint8_t>(random());
    shape.chroma_u = static_cast<uint8_t>(random());
    shape.chroma_v = static_cast<uint8_t>(random());
    shapes.push_back(shape);
  }
  return shapes;
}

uint8_t shapes_byte(const std::vector<Shape>& shapes, int32_t column, int32_t row) {
  const int pixel = column / 2;
  for (const Shape& shape : shapes) {
    if (std::abs(pixel - shape.x) <= shape.half_width &&
        std::abs(row - shape.y) <= shape.half_height) {
      if (is_luma(column)) return shape.luma;
      return column % 4 == 1 ? shape.chroma_u : shape.chroma_v;
    }
  }
  return is_luma(column) ? clamp_byte(40 + row % 8) : 128;
}

}  // namespace

const char* frame_kind_name(FrameKind kind) {
  switch (kind) {
    case FrameKind::kGradient:
      return "gradient";
    case FrameKind::kMovingShapes:
      return "shapes";
    case FrameKind::kNoise:
      return "noise";
    case FrameKind::kFlat:
      return "flat";
  }
  return "?";
}

std::string FrameShape::describe() const {
  return "row_bytes " + std::to_string(row_bytes) + ", rows " + std::to_string(rows) + ", pitch " +
         std::to_string(pitch);
}

FrameShape packed_yuy2(int32_t width, int32_t height) {
  return {width * 2, height, width * 2};
}

std::vector<uint8_t> make_frame(FrameKind kind, const FrameShape& shape, uint32_t seed) {
  std::vector<uint8_t> frame(static_cast<size_t>(shape.frame_bytes()));
  std::mt19937 noise(seed * 7919u + 17u);
  const std::vector<Shape> shapes = shapes_for(shape, seed);
  for (int32_t row = 0; row < shape.rows; ++row) {
    for (int32_t column = 0; column < shape.pitch; ++column) {
      uint8_t value = static_cast<uint8_t>(noise());
      if (column < shape.row_bytes) {
        switch (kind) {
          case FrameKind::kGradient:
            value = gradient_byte(column, row, seed);
            break;
          case FrameKind::kMovingShapes:
            value = shapes_byte(shapes, column, row);
            break;
          case FrameKind::kNoise:
            break;
          case FrameKind::kFlat:
            value = is_luma(column) ? 0x51 : 0x5A;
            break;
        }
      }
      frame[static_cast<size_t>(row) * static_cast<size_t>(shape.pitch) +
            static_cast<size_t>(column)] = value;
    }
  }
  return frame;
}

}  // namespace quorvel
