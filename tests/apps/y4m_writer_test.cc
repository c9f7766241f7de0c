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

}  // namespace
}  // namespace quorvel::client
