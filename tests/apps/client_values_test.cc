// The client's command-line values: --frames ranges, HOST[:PORT], --compression choices;
// where a frame's audio starts.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <utility>

#include "apps/fetch/compression_choice.h"
#include "apps/fetch/frame_range.h"
#include "apps/fetch/request_plan.h"
#include "apps/fetch/server_address.h"
#include "client/client_socket.h"
#include "wire/compression_type.h"

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

// Frames and their audio interleave; when one kind is held back (its output cannot take
// more yet), the other runs ahead by at most RequestPlan::kAheadBytes of audio, and what was
// held back is owed, not lost.
TEST(RequestPlanTest, OneStreamRunsAheadOfTheOtherByABoundedAmount) {
  StreamInfoRecord info;
  info.rate = 30000;
  info.scale = 1001;
  info.frame_count = 1000;
  info.audio_rate = 48000;
  info.channels = 2;
  RequestSpan span;
  span.video = true;
  span.frames = {0, 999};
  span.audio = true;
  span.audio_end = first_sample_of_frame(1000, info);
  const uint64_t ahead = RequestPlan::kAheadBytes / 4;  // samples of 2 channels of 16 bits
  const RequestKinds both;
  const RequestKinds frames_only{true, false};
  const RequestKinds audio_only{false, true};
  using Kind = PlannedRequest::Kind;

  // In order: each frame, then the audio that plays during it.
  RequestPlan in_order(info, span);
  PlannedRequest request;
  for (int32_t n = 0; n < 3; ++n) {
    ASSERT_TRUE(in_order.next(&request, both));
    EXPECT_EQ(request.kind, Kind::kFrame);
    EXPECT_EQ(request.frame, n);
    ASSERT_TRUE(in_order.next(&request, both));
    EXPECT_EQ(request.kind, Kind::kAudio);
    EXPECT_EQ(request.first_sample, first_sample_of_frame(n, info));
    EXPECT_EQ(request.first_sample + static_cast<uint64_t>(request.sample_count),
              first_sample_of_frame(n + 1, info));
  }

  // Audio held back: frames go on until their audio lags by the bound, then nothing; the
  // audio owed then comes in full before the next frame.
  RequestPlan frames_ahead(info, span);
  int32_t frames = 0;
  while (frames_ahead.next(&request, frames_only)) {
    ASSERT_EQ(request.kind, Kind::kFrame);
    ++frames;
  }
  EXPECT_EQ(frames, 164);  // frame 163 starts 261060 samples in, frame 164 at 262662
  EXPECT_GE(first_sample_of_frame(frames, info), ahead);
  EXPECT_LT(first_sample_of_frame(frames - 1, info), ahead);
  uint64_t owed = 0;
  while (frames_ahead.next(&request, both) && request.kind == Kind::kAudio) {
    EXPECT_EQ(request.first_sample, owed);
    owed += static_cast<uint64_t>(request.sample_count);
  }
  EXPECT_EQ(owed, first_sample_of_frame(frames, info));
  EXPECT_EQ(request.frame, frames);

  // Frames held back: the audio of the frames to come runs ahead, a frame's worth at a
  // time, by the bound; the frames then follow with no audio owed until they catch up.
  RequestPlan audio_ahead(info, span);
  ASSERT_TRUE(audio_ahead.next(&request, both));  // frame 0
  uint64_t next = 0;
  while (audio_ahead.next(&request, audio_only)) {
    ASSERT_EQ(request.kind, Kind::kAudio);
    EXPECT_EQ(request.first_sample, next);
    EXPECT_LE(request.sample_count, 1602);
    next += static_cast<uint64_t>(request.sample_count);
  }
  EXPECT_EQ(next, first_sample_of_frame(1, info) + ahead);
  EXPECT_EQ(audio_ahead.audio_asked(), next);
  ASSERT_TRUE(audio_ahead.next(&request, both));
  EXPECT_EQ(request.kind, Kind::kFrame);
  EXPECT_EQ(request.frame, 1);
  ASSERT_TRUE(audio_ahead.next(&request, both));
  EXPECT_EQ(request.kind, Kind::kFrame) << "frame 1's audio was asked for already";

  // Everything is given out once, whatever was held back when.
  RequestPlan mixed(info, span);
  uint64_t samples = 0;
  int32_t frames_given = 0;
  for (int step = 0; !mixed.done() && step < 100000; ++step) {
    const RequestKinds wanted = step % 7 < 3 ? frames_only : step % 7 < 5 ? audio_only : both;
    if (!mixed.next(&request, wanted)) continue;
    if (request.kind == Kind::kFrame) {
      EXPECT_EQ(request.frame, frames_given++);
    } else {
      EXPECT_EQ(request.first_sample, samples);
      samples += static_cast<uint64_t>(request.sample_count);
    }
  }
  EXPECT_EQ(frames_given, 1000);
  EXPECT_EQ(samples, span.audio_end);
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

TEST(CompressionChoiceTest, NoneSendsNothingAndAutoAsksForThePrefixCodeElseLzo) {
  CompressionChoice choice;
  std::string problem;
  ASSERT_TRUE(choose_compression("none", &choice, &problem));
  EXPECT_FALSE(choice.send);
  ASSERT_TRUE(choose_compression("auto", &choice, &problem));
  EXPECT_EQ(choice.mask, kCompressionFano | kCompressionLzo);
  EXPECT_FALSE(choose_compression("zstd", &choice, &problem));
}

}  // namespace
}  // namespace quorvel::client
