// The client's command-line values: --frames ranges, HOST[:PORT], --compression choices;
// where a frame's audio starts.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <utility>

#include "apps/fetch/client_socket.h"
#include "apps/fetch/compression_choice.h"
#include "apps/fetch/frame_range.h"
#include "apps/fetch/request_plan.h"
#include "apps/fetch/server_address.h"

namespace quorvel::client {
namespace {

TEST(FrameRangeTest, ParsesTheFourForms) {
  struct Case {
    const char* text;
    bool ok;
    int32_t first, last;
  };
  const Case cases[] = {
      {"3-9", true, 3, 9},          {"12-", true, 12, -1}, {"7", true, 7, 7},
      {"0-0", true, 0, 0},          {"9-3", false, 0, 0},  {"-5", false, 0, 0},
      {"a-b", false, 0, 0},         {"", false, 0, 0},     {"1-2-3", false, 0, 0},
      {"99999999999", false, 0, 0}, {" 4", false, 0, 0},   {":100", true, 0, 99},
      {":1", true, 0, 0},           {":0", false, 0, 0},   {":", false, 0, 0},
      {":5-9", false, 0, 0},        {"3:5", false, 0, 0},
  };
  for (const Case& c : cases) {
    FrameRange range;
    EXPECT_EQ(parse_frame_range(c.text, &range), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(range.first, c.first) << c.text;
      EXPECT_EQ(range.last, c.last) << c.text;
    }
  }
}

TEST(FrameRangeTest, ResolvesAgainstTheStream) {
  FrameRange resolved;
  std::string problem;
  ASSERT_TRUE(resolve_frame_range({5, -1}, 10, &resolved, &problem));
  EXPECT_EQ(resolved.last, 9);
  EXPECT_FALSE(resolve_frame_range({5, 10}, 10, &resolved, &problem));
  EXPECT_NE(problem.find("10 frames"), std::string::npos);
  EXPECT_FALSE(resolve_frame_range({150, -1}, 100, &resolved, &problem));
  EXPECT_EQ(problem, "frame 150 is past the last frame (99)");
  // All of an empty stream is nothing, not an error.
  ASSERT_TRUE(resolve_frame_range({0, -1}, 0, &resolved, &problem));
  EXPECT_EQ(resolved.last - resolved.first + 1, 0);
}

// floor(frame * audio_rate * scale / rate), exact up to the largest values the record holds
// (the product needs 94 bits), saturated where it does not fit 64; also in a 32-bit build.
TEST(FirstSampleOfFrameTest, ExactToTheLimitsOfTheRecord) {
  struct Case {
    int64_t frame;
    int32_t audio_rate;
    uint32_t scale, rate;
    uint64_t first_sample;
  };
  const Case cases[] = {
      {0, 48000, 1001, 30000, 0},
      {1, 48000, 1001, 30000, 1601},
      {12345, 44100, 1, 25, 21776580},
      {5, 48000, 0, 30000, 0},
      {5, 48000, 1001, 0, 0},
      {INT32_MAX, 192000, 1001, 30000, 13757639236140u},
      {INT32_MAX, INT32_MAX, UINT32_MAX, UINT32_MAX, 4611686014132420609u},
      {INT32_MAX, INT32_MAX, UINT32_MAX, 1u << 31, 9223372026117357571u},
      {INT32_MAX, INT32_MAX, UINT32_MAX, 1, UINT64_MAX},
  };
  for (const Case& c : cases) {
    StreamInfoRecord info;
    info.audio_rate = c.audio_rate;
    info.scale = c.scale;
    info.rate = c.rate;
    EXPECT_EQ(first_sample_of_frame(c.frame, info), c.first_sample)
        << c.frame << " * " << c.audio_rate << " * " << c.scale << " / " << c.rate;
  }
}

TEST(ServerAddressTest, SplitsHostAndPort) {
  struct Case {
    const char* text;
    bool ok;
    const char* host;
    const char* port;
  };
  const Case cases[] = {
      {"127.0.0.1:4000", true, "127.0.0.1", "4000"},
      {"encoder", true, "encoder", "22050"},
      {"[::1]:99", true, "::1", "99"},
      {"[::1]", true, "::1", "22050"},
      {"host:", false, "", ""},
      {":80", false, "", ""},
      {"[::1", false, "", ""},
      {"[::1]x", false, "", ""},
  };
  for (const Case& c : cases) {
    ServerAddress address;
    EXPECT_EQ(parse_server_address(c.text, &address), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(address.host, c.host) << c.text;
      EXPECT_EQ(address.port, c.port) << c.text;
    }
  }
}

TEST(TimeoutTest, SecondsBecomeWholeMillisecondsWithoutOverflow) {
  const std::pair<double, int> cases[] = {{0, 0},          {-1, 0},         {std::nan(""), 0},
                                          {0.0001, 1},     {1.5, 1500},     {2147483.647, INT_MAX},
                                          {1e12, INT_MAX}, {1e300, INT_MAX}};
  for (const auto& [seconds, ms] : cases)
    EXPECT_EQ(timeout_ms_from_seconds(seconds), ms) << seconds;
}

TEST(CompressionChoiceTest, MasksOfTheNamedCodecs) {
  struct Case {
    const char* name;
    uint8_t mask;
  };
  const Case cases[] = {{"lzo", 1}, {"fano", 2}, {"deflate", 4}};
  for (const Case& c : cases) {
    CompressionChoice choice;
    std::string problem;
    ASSERT_TRUE(choose_compression(c.name, &choice, &problem)) << c.name << ": " << problem;
    EXPECT_TRUE(choice.send);
    EXPECT_EQ(choice.mask, c.mask) << c.name;
  }
}

TEST(CompressionChoiceTest, NoneSendsNothingAndAutoOffersEveryCodec) {
  CompressionChoice choice;
  std::string problem;
  ASSERT_TRUE(choose_compression("none", &choice, &problem));
  EXPECT_FALSE(choice.send);
  ASSERT_TRUE(choose_compression("auto", &choice, &problem));
  EXPECT_EQ(choice.mask, 7);
  EXPECT_FALSE(choose_compression("zstd", &choice, &problem));
}

}  // namespace
}  // namespace quorvel::client
