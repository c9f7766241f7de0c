#include "codecs/vertical_delta.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "tests/codecs/test_frames.h"
#include "tests/support/guarded_buffer.h"

namespace quorvel {
namespace {

using Bytes = std::vector<uint8_t>;

// The filter as the receiving side knows it: groups of 16 columns over the span R, taken
// left to right in both directions, every group running over R columns of every row. It
// works on a copy with room past the end, since a group of the bottom row may reach beyond
// the frame; only the frame's bytes are handed back.
enum class Direction { kForward, kInverse };

Bytes left_to_right_walk(const Bytes& frame, int32_t row_bytes, int32_t rows, int32_t pitch,
                         Direction direction) {
  const int32_t span = std::max(16, (row_bytes + 15) & ~15);
  Bytes work(frame);
  work.resize(frame.size() + 16);
  for (int32_t group = 0; group < span; group += 16) {
    uint8_t carried[16] = {};
    for (int32_t row = 0; row < rows; ++row) {
      uint8_t* bytes =
          &work[static_cast<size_t>(row) * static_cast<size_t>(pitch) + static_cast<size_t>(group)];
      for (int k = 0; k < 16; ++k) {
        const uint8_t current = bytes[k];
        if (direction == Direction::kForward) {
          bytes[k] = static_cast<uint8_t>(current - carried[k]);
          carried[k] = current;
        } else {
          carried[k] = static_cast<uint8_t>(carried[k] + current);
          bytes[k] = carried[k];
        }
      }
    }
  }
  work.resize(frame.size());
  return work;
}

Bytes random_bytes(size_t size, std::mt19937& random) {
  Bytes bytes(size);
  for (uint8_t& byte : bytes) byte = static_cast<uint8_t>(random());
  return bytes;
}

using Filter = void (*)(uint8_t* buffer, int32_t row_bytes, int32_t rows, int32_t pitch);

Bytes apply(Filter filter, Bytes frame, const FrameShape& shape) {
  filter(frame.data(), shape.row_bytes, shape.rows, shape.pitch);
  return frame;
}

Bytes forward(const Bytes& frame, const FrameShape& shape) {
  return apply(VerticalDelta::forward, frame, shape);
}

Bytes inverse(const Bytes& frame, const FrameShape& shape) {
  return apply(VerticalDelta::inverse, frame, shape);
}

int32_t column_span(int32_t row_bytes) {
  return std::max(16, (row_bytes + 15) & ~15);
}

// ---- Hand-checked bytes ----

TEST(VerticalDeltaTest, OneRowIsUnchangedBothWays) {
  std::mt19937 random(1);
  for (int32_t row_bytes : {1, 16, 20, 718, 1440}) {
    const FrameShape shape{row_bytes, 1, std::max(row_bytes, 16)};
    const Bytes frame = random_bytes(static_cast<size_t>(shape.frame_bytes()), random);
    EXPECT_EQ(forward(frame, shape), frame) << shape.describe();
    EXPECT_EQ(inverse(frame, shape), frame) << shape.describe();
  }
}

TEST(VerticalDeltaTest, EqualRowsBecomeTopRowThenZeros) {
  const FrameShape shape = packed_yuy2(24, 5);  // 48 bytes a row
  std::mt19937 random(2);
  const Bytes top = random_bytes(48, random);
  Bytes frame;
  for (int row = 0; row < shape.rows; ++row) frame.insert(frame.end(), top.begin(), top.end());
  Bytes expected(frame.size(), 0);
  std::copy(top.begin(), top.end(), expected.begin());
  EXPECT_EQ(forward(frame, shape), expected);
  EXPECT_EQ(inverse(expected, shape), frame);
}

TEST(VerticalDeltaTest, DifferencesWrapAround) {
  const FrameShape shape{16, 2, 16};
  Bytes frame(32, 0x00);
  std::fill(frame.begin(), frame.begin() + 16, 0xFF);
  const Bytes filtered = forward(frame, shape);
  EXPECT_EQ(filtered[0], 0xFF);
  EXPECT_EQ(filtered[16], 0x01);  // 0x00 under 0xFF
  EXPECT_EQ(inverse(filtered, shape), frame);
}

// Which columns of a padded frame the filter covers: the span R, gap bytes included, and
// nothing at or beyond it.
TEST(VerticalDeltaTest, FiltersExactlyTheColumnSpan) {
  struct Case {
    int32_t row_bytes;
    int32_t pitch;
    int32_t filtered_columns;
  };
  const Case cases[] = {{1, 64, 16},  {15, 64, 16}, {16, 64, 16}, {17, 64, 32}, {0, 64, 16},
                        {-5, 64, 16}, {20, 32, 32}, {33, 64, 48}, {64, 64, 64}};
  std::mt19937 random(3);
  for (const Case& c : cases) {
    const FrameShape shape{c.row_bytes, 4, c.pitch};
    const Bytes frame = random_bytes(static_cast<size_t>(shape.frame_bytes()), random);
    const Bytes filtered = forward(frame, shape);
    for (int32_t row = 1; row < shape.rows; ++row) {
      for (int32_t column = 0; column < c.pitch; ++column) {
        const size_t at = static_cast<size_t>(row * c.pitch + column);
        const uint8_t expected =
            column < c.filtered_columns
                ? static_cast<uint8_t>(frame[at] - frame[at - static_cast<size_t>(c.pitch)])
                : frame[at];
        ASSERT_EQ(filtered[at], expected)
            << shape.describe() << " row " << row << " column " << column;
      }
    }
    EXPECT_EQ(inverse(filtered, shape), frame) << shape.describe();
  }
}

// Packed frames narrower than one group (YUY2 widths below 8 pixels): every byte becomes
// its difference from the byte one row above.
TEST(VerticalDeltaTest, RowsNarrowerThanAGroupTakeThePlainRowDifference) {
  std::mt19937 random(4);
  for (int32_t width : {1, 3, 7}) {
    const FrameShape shape = packed_yuy2(width, 6);
    const Bytes frame = random_bytes(static_cast<size_t>(shape.frame_bytes()), random);
    const Bytes filtered = forward(frame, shape);
    for (size_t at = 0; at < frame.size(); ++at) {
      const uint8_t expected =
          at < static_cast<size_t>(shape.pitch)
              ? frame[at]
              : static_cast<uint8_t>(frame[at] - frame[at - static_cast<size_t>(shape.pitch)]);
      ASSERT_EQ(filtered[at], expected) << shape.describe() << " byte " << at;
    }
    EXPECT_EQ(inverse(filtered, shape), frame) << shape.describe();
  }
}

TEST(VerticalDeltaTest, RowBytesBeyondPitchCountAsPitch) {
  std::mt19937 random(5);
  const Bytes frame = random_bytes(40 * 7, random);
  const FrameShape wide{500, 7, 40};
  const FrameShape same{40, 7, 40};
  EXPECT_EQ(forward(frame, wide), forward(frame, same));
  EXPECT_EQ(inverse(frame, wide), inverse(frame, same));
}

TEST(VerticalDeltaTest, FramesWithoutBytesAreLeftAlone) {
  // rows or pitch not positive, or rows * pitch beyond a 32-bit length: nothing is touched
  // (the buffer is far smaller than the shapes claim, so a touch would fault).
  const FrameShape shapes[] = {{16, 0, 16},  {16, -3, 16},       {16, 4, 0},
                               {16, 4, -16}, {16, 65536, 65536}, {INT32_MAX, 2, INT32_MAX}};
  for (const FrameShape& shape : shapes) {
    GuardedBuffer buffer(16);
    for (Filter filter : {VerticalDelta::forward, VerticalDelta::forward_reference,
                          VerticalDelta::inverse, VerticalDelta::inverse_reference}) {
      filter(buffer.data(), shape.row_bytes, shape.rows, shape.pitch);
    }
    EXPECT_EQ(buffer.bytes(), Bytes(16, 0)) << shape.describe();
  }
}

// ---- Random shapes ----

// A shape meeting the usual conditions: pitch at least the column span.
FrameShape random_regular_shape(std::mt19937& random) {
  const int32_t row_bytes = static_cast<int32_t>(random() % 200) - 4;
  const int32_t pitch = column_span(row_bytes) +
                        static_cast<int32_t>(random() % 3) * static_cast<int32_t>(random() % 24);
  return {row_bytes, 1 + static_cast<int32_t>(random() % 40), pitch};
}

// Any shape, including the ones outside the usual conditions.
FrameShape random_any_shape(std::mt19937& random) {
  switch (random() % 3) {
    case 0:
      return random_regular_shape(random);
    case 1: {  // packed, any width
      const int32_t width = 1 + static_cast<int32_t>(random() % 130);
      return packed_yuy2(width, 1 + static_cast<int32_t>(random() % 40));
    }
    default:  // row_bytes and pitch unrelated
      return {static_cast<int32_t>(random() % 300) - 10, 1 + static_cast<int32_t>(random() % 40),
              1 + static_cast<int32_t>(random() % 150)};
  }
}

TEST(VerticalDeltaTest, FastVersionsMatchTheReferenceOnAnyShape) {
  std::mt19937 random(6);
  for (int trial = 0; trial < 3000; ++trial) {
    const FrameShape shape = random_any_shape(random);
    const Bytes frame = random_bytes(static_cast<size_t>(shape.frame_bytes()), random);
    const Bytes filtered = apply(VerticalDelta::forward_reference, frame, shape);
    ASSERT_EQ(forward(frame, shape), filtered) << shape.describe();
    ASSERT_EQ(inverse(frame, shape), apply(VerticalDelta::inverse_reference, frame, shape))
        << shape.describe();
    ASSERT_EQ(inverse(filtered, shape), frame) << shape.describe();
  }
}

// Rows wider than the fast pass takes at a time (it goes in strips of columns).
TEST(VerticalDeltaTest, WideRowsMatchTheReference) {
  const FrameShape shapes[] = {packed_yuy2(2048, 4),
                               packed_yuy2(2100, 5),
                               packed_yuy2(2101, 4),
                               {8193, 3, 8300},
                               {12000, 2, 12000}};
  std::mt19937 random(10);
  for (const FrameShape& shape : shapes) {
    const Bytes frame = random_bytes(static_cast<size_t>(shape.frame_bytes()), random);
    const Bytes filtered = apply(VerticalDelta::forward_reference, frame, shape);
    EXPECT_EQ(forward(frame, shape), filtered) << shape.describe();
    EXPECT_EQ(inverse(filtered, shape), frame) << shape.describe();
  }
}

TEST(VerticalDeltaTest, RegularShapesGiveTheLeftToRightBytes) {
  std::mt19937 random(7);
  for (int trial = 0; trial < 1500; ++trial) {
    const FrameShape shape = random_regular_shape(random);
    const Bytes frame = random_bytes(static_cast<size_t>(shape.frame_bytes()), random);
    ASSERT_EQ(forward(frame, shape), left_to_right_walk(frame, shape.row_bytes, shape.rows,
                                                        shape.pitch, Direction::kForward))
        << shape.describe();
    ASSERT_EQ(inverse(frame, shape), left_to_right_walk(frame, shape.row_bytes, shape.rows,
                                                        shape.pitch, Direction::kInverse))
        << shape.describe();
  }
}

// Packed frames whose rows are not a multiple of 16 bytes: the groups spill into the row
// below, and a receiver running the left-to-right inverse still gets the picture back.
TEST(VerticalDeltaTest, PackedFramesOfAnyWidthComeBackThroughTheLeftToRightInverse) {
  std::mt19937 random(8);
  for (int trial = 0; trial < 1500; ++trial) {
    const int32_t width = 8 + static_cast<int32_t>(random() % 400);
    const FrameShape shape = packed_yuy2(width, 1 + static_cast<int32_t>(random() % 30));
    const Bytes frame = random_bytes(static_cast<size_t>(shape.frame_bytes()), random);
    const Bytes filtered = forward(frame, shape);
    ASSERT_EQ(
        left_to_right_walk(filtered, shape.row_bytes, shape.rows, shape.pitch, Direction::kInverse),
        frame)
        << shape.describe();
  }
}

TEST(VerticalDeltaTest, RealFrameSizesRoundTrip) {
  const FrameShape shapes[] = {packed_yuy2(720, 480),
                               packed_yuy2(718, 480),
                               packed_yuy2(1920, 1080),
                               packed_yuy2(854, 3),
                               {1440, 100, 1536}};
  for (const FrameShape& shape : shapes) {
    const Bytes frame = make_frame(FrameKind::kMovingShapes, shape, 3);
    const Bytes filtered = forward(frame, shape);
    EXPECT_NE(filtered, frame) << shape.describe();
    EXPECT_EQ(inverse(filtered, shape), frame) << shape.describe();
    if (shape.rows <= 480) {
      EXPECT_EQ(filtered, apply(VerticalDelta::forward_reference, frame, shape))
          << shape.describe();
    }
  }
}

// The bottom row's last group reaches past the end of a packed frame whose rows are not a
// multiple of 16 bytes; with the frame flush against an unreadable page any touch there
// faults.
TEST(VerticalDeltaTest, NeverTouchesBytesPastTheFrame) {
  std::mt19937 random(9);
  for (int trial = 0; trial < 300; ++trial) {
    const FrameShape shape = random_any_shape(random);
    const Bytes frame = random_bytes(static_cast<size_t>(shape.frame_bytes()), random);
    GuardedBuffer buffer(frame);
    // Twice forward, twice inverse: the frame as it was.
    for (Filter filter : {VerticalDelta::forward, VerticalDelta::forward_reference,
                          VerticalDelta::inverse, VerticalDelta::inverse_reference}) {
      filter(buffer.data(), shape.row_bytes, shape.rows, shape.pitch);
    }
    ASSERT_EQ(buffer.bytes(), frame) << shape.describe();
  }
}

}  // namespace
}  // namespace quorvel
