// The Y4M stream the client writes: the header byte for byte, the interlace tag for each
// image_type and --field-order, and the de-interleaving of packed YUY2 into 4:2:2 planes.
#include "apps/fetch/y4m_writer.h"

#include <gtest/gtest.h>

namespace quorvel::client {
namespace {

TEST(Y4mWriterTest, HeaderReducesTheRateAndSaysC422) {
  const Y4mStreamFormat format{720, 480, 60000, 2002, FieldOrder::kTopFieldFirst, 300};
  EXPECT_EQ(y4m_stream_header(format),
            "YUV4MPEG2 W720 H480 F30000:1001 It A0:0 C422 XLENGTH=300\n");
}

TEST(Y4mWriterTest, HeaderOfProgressiveAndBottomFirstStreams) {
  EXPECT_EQ(y4m_stream_header({64, 48, 25, 1, FieldOrder::kProgressive, 1}),
            "YUV4MPEG2 W64 H48 F25:1 Ip A0:0 C422 XLENGTH=1\n");
  EXPECT_EQ(y4m_stream_header({2, 2, 50, 2, FieldOrder::kBottomFieldFirst, 7}),
            "YUV4MPEG2 W2 H2 F25:1 Ib A0:0 C422 XLENGTH=7\n");
}

TEST(Y4mWriterTest, FieldOrderFromImageTypeAndOverride) {
  struct Case {
    FieldOrder requested;
    int32_t image_type;
    char tag;
  };
  const Case cases[] = {
      {FieldOrder::kAuto, 0, 'p'},          {FieldOrder::kAuto, 5, 'b'},
      {FieldOrder::kAuto, 6, 't'},          {FieldOrder::kProgressive, 6, 'p'},
      {FieldOrder::kTopFieldFirst, 0, 't'}, {FieldOrder::kBottomFieldFirst, 6, 'b'},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(y4m_interlace_tag(resolve_field_order(c.requested, c.image_type)), c.tag)
        << "image_type " << c.image_type;
  }
}

TEST(Y4mWriterTest, ParsesFieldOrderWords) {
  FieldOrder order = FieldOrder::kAuto;
  EXPECT_TRUE(parse_field_order("bff", &order));
  EXPECT_EQ(order, FieldOrder::kBottomFieldFirst);
  EXPECT_TRUE(parse_field_order("progressive", &order));
  EXPECT_EQ(order, FieldOrder::kProgressive);
  EXPECT_FALSE(parse_field_order("mixed", &order));
}

TEST(Y4mWriterTest, DeinterleavesYuy2IntoPlanes) {
  // 4x2 frame: Y0 U Y1 V per pixel pair, each byte numbered so misplaced ones show.
  const uint8_t yuy2[] = {10, 20, 11, 30, 12, 21, 13, 31,   // row 0
                          14, 22, 15, 32, 16, 23, 17, 33};  // row 1
  std::vector<uint8_t> planar;
  yuy2_to_planar_422(yuy2, 4, 2, &planar);
  const std::vector<uint8_t> expected = {10, 11, 12, 13, 14, 15, 16, 17,  // Y
                                         20, 21, 22, 23,                  // Cb
                                         30, 31, 32, 33};                 // Cr
  EXPECT_EQ(planar, expected);
}

// The vector path takes 16 pairs at a time and the byte loop the rest: sizes below, at and
// past a multiple of 16 pairs give the same planes as picking the bytes one by one.
TEST(Yuy2ToPlanarTest, EverySizeSplitsLikeTheBytewiseRule) {
  const int32_t sizes[][2] = {{2, 1}, {30, 1}, {32, 1}, {34, 3}, {64, 2}, {1920, 3}};
  for (const auto& size : sizes) {
    const int32_t width = size[0];
    const int32_t height = size[1];
    const size_t pairs = static_cast<size_t>(width) * static_cast<size_t>(height) / 2;
    std::vector<uint8_t> yuy2(pairs * 4);
    for (size_t i = 0; i < yuy2.size(); ++i) yuy2[i] = static_cast<uint8_t>(i * 37 + i / 251);
    std::vector<uint8_t> expected(yuy2.size());
    for (size_t p = 0; p < pairs; ++p) {
      expected[2 * p] = yuy2[4 * p];
      expected[2 * pairs + p] = yuy2[4 * p + 1];
      expected[2 * p + 1] = yuy2[4 * p + 2];
      expected[3 * pairs + p] = yuy2[4 * p + 3];
    }
    std::vector<uint8_t> planar;
    yuy2_to_planar_422(yuy2.data(), width, height, &planar);
    EXPECT_EQ(planar, expected) << width << "x" << height;
  }
}

}  // namespace
}  // namespace quorvel::client
