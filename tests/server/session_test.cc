// The request loop against the scripted sockets layer and a scripted host: stream info,
// frame replies and the read-ahead call orders, audio replies, and how requests are framed.
#include "server/session.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "server/send_chunked.h"
#include "tests/server/serving_harness.h"

namespace quorvel::testing {
namespace {

using Trace = std::vector<std::string>;

constexpr int32_t kWidth = 4;
constexpr int32_t kHeight = 3;
constexpr int32_t kFrameBytes = kWidth * 2 * kHeight;

bool all_zero(const Bytes& bytes, size_t from, size_t to) {
  for (size_t i = from; i < to; ++i) {
    if (bytes[i] != 0) return false;
  }
  return true;
}

// ---- GetStreamInfo -----------------------------------------------------------------------

TEST_F(ServingTest, StreamInfoReplyCarriesTheHostsProperties) {
  ScriptedHost host(720, 480, 1000);
  host.info().audio_samples = 3000000;
  client_sends({stream_info_request()});
  EXPECT_EQ(run(host), 1);
  const std::vector<Reply> sent = replies();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].length, 49);
  EXPECT_EQ(sent[0].command, kStreamInfoReply);
  ASSERT_EQ(sent[0].payload.size(), static_cast<size_t>(kStreamInfoSize));
  const StreamInfoRecord record = read_stream_info(sent[0].payload.data());
  EXPECT_EQ(record.width, 720);
  EXPECT_EQ(record.height, 480);
  EXPECT_EQ(record.rate, 30000u);
  EXPECT_EQ(record.scale, 1001u);
  EXPECT_EQ(record.frame_count, 1000);
  EXPECT_EQ(record.pixel_type, 0x60000004u);
  EXPECT_EQ(record.audio_rate, 48000);
  EXPECT_EQ(record.sample_type, 2u);
  EXPECT_EQ(record.channels, 2);
  EXPECT_EQ(record.image_type, 6);
  EXPECT_EQ(Bytes(sent[0].payload.begin() + 32, sent[0].payload.begin() + 40),
            (Bytes{0xC0, 0xC6, 0x2D, 0x00, 0x00, 0x00, 0x00, 0x00}));
  // Header and record go out by sends of their own.
  EXPECT_EQ(fake_sockets::send_sizes(), (std::vector<int>{5, 48}));
  expect_ended_cleanly();
}

TEST_F(ServingTest, StreamInfoWithoutVideoSetsOnlyWidthZero) {
  ScriptedHost host(720, 480);
  host.info().flags = QUORVEL_HOST_HAS_AUDIO;
  client_sends({stream_info_request()});
  run(host);
  const Bytes payload = replies().at(0).payload;
  ASSERT_EQ(payload.size(), static_cast<size_t>(kStreamInfoSize));
  EXPECT_TRUE(all_zero(payload, 0, 24));
  EXPECT_TRUE(all_zero(payload, 44, 48));
  EXPECT_EQ(read_stream_info(payload.data()).audio_rate, 48000);
}

TEST_F(ServingTest, StreamInfoWithoutAudioSetsOnlyAudioRateZero) {
  ScriptedHost host(720, 480);
  host.info().flags = QUORVEL_HOST_HAS_VIDEO;
  client_sends({stream_info_request()});
  run(host);
  const Bytes payload = replies().at(0).payload;
  ASSERT_EQ(payload.size(), static_cast<size_t>(kStreamInfoSize));
  EXPECT_TRUE(all_zero(payload, 24, 44));
  EXPECT_EQ(read_stream_info(payload.data()).width, 720);
}

TEST_F(ServingTest, StreamInfoWithNeitherIsAllZero) {
  ScriptedHost host(720, 480);
  host.info().flags = 0;
  client_sends({stream_info_request()});
  run(host);
  const Bytes payload = replies().at(0).payload;
  ASSERT_EQ(payload.size(), static_cast<size_t>(kStreamInfoSize));
  EXPECT_TRUE(all_zero(payload, 0, 48));
}

struct ImageTypeCase {
  int32_t interlaced;
  int32_t top_field_first;
  int32_t image_type;
};

class StreamInfoImageType : public ServingTest,
                            public ::testing::WithParamInterface<ImageTypeCase> {};

TEST_P(StreamInfoImageType, FollowsTheInterlaceSettings) {
  ScriptedHost host(8, 4);
  settings_.interlaced = GetParam().interlaced;
  settings_.top_field_first = GetParam().top_field_first;
  client_sends({stream_info_request()});
  run(host);
  EXPECT_EQ(read_stream_info(replies().at(0).payload.data()).image_type, GetParam().image_type);
}

INSTANTIATE_TEST_SUITE_P(Settings, StreamInfoImageType,
                         ::testing::Values(ImageTypeCase{0, 0, 0}, ImageTypeCase{0, 1, 0},
                                           ImageTypeCase{1, 0, 5}, ImageTypeCase{1, 1, 6},
                                           ImageTypeCase{2, -1, 6}, ImageTypeCase{-1, 0, 5}));

TEST_F(ServingTest, InterlaceSettingsAreReadAtEveryStreamInfoRequest) {
  ScriptedHost host(8, 4);
  // Between the two requests (at the abort poll after the first reply), the user switches
  // interlacing off.
  host.abort_when([this] {
    if (!fake_sockets::sent_bytes().empty()) settings_.interlaced = 0;
    return false;
  });
  client_sends({stream_info_request(), stream_info_request()});
  run(host);
  const std::vector<Reply> sent = replies();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(read_stream_info(sent[0].payload.data()).image_type, 6);
  EXPECT_EQ(read_stream_info(sent[1].payload.data()).image_type, 0);
}

// ---- GetFrame ----------------------------------------------------------------------------

TEST_F(ServingTest, FrameReplyBeforeAnyCompressionIsTheRawFrame) {
  ScriptedHost host(kWidth, kHeight);
  host.info().frame_size = 0x12345;
  settings_.read_ahead = 0;
  client_sends({get_frame_request(7)});
  EXPECT_EQ(run(host), 1);
  const std::vector<Reply> sent = replies();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].command, kFrameReply);
  EXPECT_EQ(sent[0].length, kFrameBytes + 69);
  ASSERT_TRUE(sent[0].complete);
  const FrameInfoRecord record = frame_info_of(sent[0]);
  EXPECT_EQ(record.frame_number, 7);
  EXPECT_EQ(record.row_bytes, kWidth * 2);
  EXPECT_EQ(record.rows, kHeight);
  EXPECT_EQ(record.pitch, kWidth * 2);
  EXPECT_EQ(record.payload_size, kFrameBytes);
  EXPECT_EQ(record.compression, 0);
  EXPECT_EQ(record.frame_size, 0x12345u);
  for (size_t offset : {8u, 16u, 24u}) {
    EXPECT_TRUE(all_zero(sent[0].payload, offset, offset + 4)) << "reserved at " << offset;
  }
  EXPECT_TRUE(all_zero(sent[0].payload, 40, 68));
  EXPECT_EQ(frame_payload_of(sent[0]), host.expected_frame(7));
  expect_ended_cleanly();
}

TEST_F(ServingTest, EveryFrameIsFetchedInYuy2) {
  ScriptedHost host(kWidth, kHeight);
  client_sends({get_frame_request(0), get_frame_request(9)});
  run(host);
  for (const HostCall& call : host.calls()) {
    if (call.kind == HostCallKind::kGetFrame) {
      EXPECT_EQ(static_cast<uint32_t>(call.second), 0x32595559u);
    }
  }
}

struct ReadAheadCase {
  const char* name;
  int32_t read_ahead;
  std::vector<int32_t> requests;
  Trace host_calls;  // every call but is_aborted, in order
  std::vector<int32_t> sent_frames;
};

class ReadAhead : public ServingTest, public ::testing::WithParamInterface<ReadAheadCase> {};

TEST_P(ReadAhead, CallsTheHostInThisOrder) {
  ScriptedHost host(kWidth, kHeight, 100);
  settings_.read_ahead = GetParam().read_ahead;
  for (int32_t frame : GetParam().requests) client_sends({get_frame_request(frame)});
  EXPECT_EQ(run(host), 1);
  EXPECT_EQ(host.trace(), GetParam().host_calls);
  const std::vector<Reply> sent = replies();
  EXPECT_EQ(sent_frame_numbers(sent), GetParam().sent_frames);
  // Each reply carries the frame it names, also when it was prepared ahead.
  for (const Reply& reply : sent) {
    EXPECT_EQ(frame_payload_of(reply), host.expected_frame(frame_info_of(reply).frame_number));
  }
  expect_ended_cleanly();
}

INSTANTIATE_TEST_SUITE_P(
    Orders, ReadAhead,
    ::testing::Values(ReadAheadCase{"InOrderFindsEachFramePrefetched",
                                    1,
                                    {0, 1, 2},
                                    {"show_progress 0/100", "get_frame 0", "notify_frame",
                                     "get_frame 1", "notify_frame", "show_progress 1/100",
                                     "get_frame 2", "notify_frame", "show_progress 2/100",
                                     "get_frame 3", "notify_frame"},
                                    {0, 1, 2}},
                      // Frame 6 is prepared, then released unsent when 9 is asked for.
                      ReadAheadCase{"JumpReleasesThePrefetchedFrameUnsent",
                                    1,
                                    {5, 9},
                                    {"show_progress 5/100", "get_frame 5", "notify_frame",
                                     "get_frame 6", "notify_frame", "show_progress 9/100",
                                     "get_frame 9", "notify_frame", "get_frame 10", "notify_frame"},
                                    {5, 9}},
                      ReadAheadCase{"SameFrameTwiceFetchesItAgain",
                                    1,
                                    {4, 4},
                                    {"show_progress 4/100", "get_frame 4", "notify_frame",
                                     "get_frame 5", "notify_frame", "show_progress 4/100",
                                     "get_frame 4", "notify_frame", "get_frame 5", "notify_frame"},
                                    {4, 4}},
                      ReadAheadCase{"BackwardsStepFetchesTheRequestedFrame",
                                    1,
                                    {3, 2},
                                    {"show_progress 3/100", "get_frame 3", "notify_frame",
                                     "get_frame 4", "notify_frame", "show_progress 2/100",
                                     "get_frame 2", "notify_frame", "get_frame 3", "notify_frame"},
                                    {3, 2}},
                      ReadAheadCase{"OffFetchesExactlyTheRequestedFrame",
                                    0,
                                    {0, 1, 2},
                                    {"show_progress 0/100", "get_frame 0", "notify_frame",
                                     "show_progress 1/100", "get_frame 1", "notify_frame",
                                     "show_progress 2/100", "get_frame 2", "notify_frame"},
                                    {0, 1, 2}},
                      ReadAheadCase{"OffSameFrameTwiceFetchesItTwice",
                                    0,
                                    {4, 4},
                                    {"show_progress 4/100", "get_frame 4", "notify_frame",
                                     "show_progress 4/100", "get_frame 4", "notify_frame"},
                                    {4, 4}},
                      // Frame numbers are passed on unchecked, also past the end of the stream.
                      ReadAheadCase{"LastFrameStillPrefetchesTheOneAfter",
                                    1,
                                    {99},
                                    {"show_progress 99/100", "get_frame 99", "notify_frame",
                                     "get_frame 100", "notify_frame"},
                                    {99}}),
    [](const ::testing::TestParamInfo<ReadAheadCase>& order) { return order.param.name; });

TEST_F(ServingTest, ReadAheadSettingIsReadAtEveryFrameRequest) {
  ScriptedHost host(kWidth, kHeight);
  // After the first reply the user turns read-ahead off: the prefetched frame 1 must not
  // be sent as if it were still wanted, it is fetched afresh.
  host.abort_when([this] {
    if (!fake_sockets::sent_bytes().empty()) settings_.read_ahead = 0;
    return false;
  });
  client_sends({get_frame_request(0), get_frame_request(1)});
  run(host);
  EXPECT_EQ(host.fetched_frames(), (std::vector<int32_t>{0, 1, 1}));
  EXPECT_EQ(sent_frame_numbers(replies()), (std::vector<int32_t>{0, 1}));
}

TEST_F(ServingTest, FrameSizeIsReadAfterTheFetch) {
  ScriptedHost host(kWidth, kHeight);
  settings_.read_ahead = 0;
  // The host updates frame_size while it fetches a frame; the record carries that value.
  HostOutputInfo& info = host.info();
  static HostOutputInfo* updated_host;
  updated_host = &info;
  info.notify_frame = []() -> int32_t { return 0; };
  info.get_frame = [](int32_t frame_number, uint32_t) -> void* {
    static uint8_t frame[kFrameBytes];
    updated_host->frame_size = 1000u + static_cast<uint32_t>(frame_number);
    return frame;
  };
  client_sends({get_frame_request(3), get_frame_request(8)});
  run(host);
  const std::vector<Reply> sent = replies();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(frame_info_of(sent[0]).frame_size, 1003u);
  EXPECT_EQ(frame_info_of(sent[1]).frame_size, 1008u);
}

TEST_F(ServingTest, RawFrameLargerThanAPieceGoesOutInPiecesAfterHeaderAndRecord) {
  ScriptedHost host(1024, 2100);  // 2,048 bytes a row, 2,100 rows: one piece and a part
  const int frame_bytes = 2048 * 2100;
  ASSERT_GT(frame_bytes, kSendPieceSize);
  settings_.read_ahead = 0;
  client_sends({get_frame_request(1)});
  run(host);
  // The host's frame is not the server's to write in front of: header and record go first,
  // in one send.
  EXPECT_EQ(fake_sockets::send_sizes(),
            (std::vector<int>{5 + 68, kSendPieceSize, frame_bytes - kSendPieceSize}));
  EXPECT_EQ(frame_payload_of(replies().at(0)), host.expected_frame(1));
}

TEST_F(ServingTest, ShortSendsStillDeliverTheWholeReply) {
  ScriptedHost host(250, 400);
  settings_.read_ahead = 1;
  fake_sockets::set_send_limit(1000);
  client_sends({get_frame_request(1), get_frame_request(2), stream_info_request()});
  EXPECT_EQ(run(host), 1);
  const std::vector<Reply> sent = replies();
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(frame_payload_of(sent[0]), host.expected_frame(1));
  EXPECT_EQ(frame_payload_of(sent[1]), host.expected_frame(2));
  EXPECT_EQ(sent[2].command, kStreamInfoReply);
  expect_ended_cleanly();
}

// ---- GetAudio ----------------------------------------------------------------------------

TEST_F(ServingTest, AudioReplyFor4000BytesHasLength4033AndTheHostsAudio) {
  ScriptedHost host(kWidth, kHeight);
  client_sends({get_audio_request(100, 1000, 4000)});
  EXPECT_EQ(run(host), 1);
  EXPECT_EQ(host.trace(), (Trace{"get_audio 100+1000"}));
  const std::vector<Reply> sent = replies();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].length, 4033);
  EXPECT_EQ(sent[0].command, kAudioReply);
  ASSERT_TRUE(sent[0].complete);
  Bytes record(sent[0].payload.begin(), sent[0].payload.begin() + kAudioInfoSize);
  Bytes expected_record = {0xA0, 0x0F, 0, 0, 0, 0, 0, 0, 0xA0, 0x0F, 0, 0};
  expected_record.resize(kAudioInfoSize, 0);
  EXPECT_EQ(record, expected_record);
  EXPECT_EQ(Bytes(sent[0].payload.begin() + kAudioInfoSize, sent[0].payload.end()),
            host.expected_audio(100, 1000));
  EXPECT_EQ(fake_sockets::send_sizes(), (std::vector<int>{5 + 32 + 4000}));
  expect_ended_cleanly();
}

struct AudioCase {
  const char* name;
  int32_t channels;
  int32_t sample_count;  // asked for
  int32_t delivered;     // what the host writes back; -1: it writes nothing
  int32_t byte_count;
  int32_t host_bytes;  // bytes of the host's audio at the start of the reply's data
};

class AudioBounds : public ServingTest, public ::testing::WithParamInterface<AudioCase> {};

TEST_P(AudioBounds, CopiesWhatTheHostDeliveredThenZeros) {
  const AudioCase& c = GetParam();
  ScriptedHost host(kWidth, kHeight);
  host.info().audio_channels = c.channels;
  if (c.delivered >= 0) host.deliver_samples(c.delivered);
  client_sends({get_audio_request(50, c.sample_count, c.byte_count), stream_info_request()});
  EXPECT_EQ(run(host), 1);
  const std::vector<Reply> sent = replies();
  ASSERT_EQ(sent.size(), 2u);
  ASSERT_EQ(sent[0].length, c.byte_count + 33);
  ASSERT_TRUE(sent[0].complete);
  const Bytes data(sent[0].payload.begin() + kAudioInfoSize, sent[0].payload.end());
  ASSERT_EQ(data.size(), static_cast<size_t>(c.byte_count));
  const int32_t sample_bytes = c.channels * 2;
  // Whole samples, cut to host_bytes (the reply may end inside a sample), then zeros.
  Bytes expected = sample_bytes > 0
                       ? host.expected_audio(50, (c.host_bytes + sample_bytes - 1) / sample_bytes)
                       : Bytes{};
  expected.resize(static_cast<size_t>(c.host_bytes));
  expected.resize(static_cast<size_t>(c.byte_count), 0);
  EXPECT_EQ(data, expected);
  EXPECT_EQ(sent[1].command, kStreamInfoReply);  // the run goes on
  for (int size : fake_sockets::send_sizes()) EXPECT_LE(size, kSendPieceSize);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AudioBounds,
    ::testing::Values(AudioCase{"AllAsked", 2, 1000, -1, 4000, 4000},
                      AudioCase{"FewerDeliveredThanAsked", 2, 1000, 300, 4000, 1200},
                      AudioCase{"FewerAskedThanByteCount", 2, 500, -1, 4000, 2000},
                      AudioCase{"MoreDeliveredThanByteCount", 2, 1000, 2000, 4000, 4000},
                      AudioCase{"ByteCountNotAWholeSample", 2, 1000, -1, 4001, 4000},
                      AudioCase{"ByteCountInsideASample", 2, 1000, -1, 3999, 3999},
                      AudioCase{"NoneDelivered", 2, 1000, 0, 4000, 0},
                      AudioCase{"Mono", 1, 1000, -1, 4000, 2000},
                      AudioCase{"SixChannels", 6, 100, -1, 4000, 1200},
                      AudioCase{"NoChannels", 0, 1000, -1, 4000, 0},
                      AudioCase{"NegativeChannels", -2, 1000, -1, 4000, 0},
                      AudioCase{"NegativeSampleCount", 2, -5, -1, 4000, 0},
                      AudioCase{"HugeSampleCount", 2, 0x7FFFFFFF, -1, 100000, 100000},
                      AudioCase{"LongZeroTail", 2, 10, -1, 200000, 40},
                      // Past the most the session assembles into one send: in parts.
                      AudioCase{"LongerThanOneAssembledReply", 2, 300000, -1, 2000000, 1200000}),
    [](const ::testing::TestParamInfo<AudioCase>& audio) { return audio.param.name; });

TEST_F(ServingTest, AudioWithByteCountZeroSendsHeaderAndRecordAndGoesOn) {
  ScriptedHost host(kWidth, kHeight);
  client_sends({get_audio_request(0, 10, 0), stream_info_request()});
  EXPECT_EQ(run(host), 1);
  const std::vector<Reply> sent = replies();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].length, 33);
  EXPECT_EQ(sent[0].command, kAudioReply);
  Bytes expected_record(kAudioInfoSize, 0);
  EXPECT_EQ(sent[0].payload, expected_record);
  EXPECT_EQ(sent[1].command, kStreamInfoReply);
  expect_ended_cleanly();
}

TEST_F(ServingTest, NullAudioSendsByteCountZerosAndGoesOn) {
  ScriptedHost host(kWidth, kHeight);
  host.return_null_audio(true);
  client_sends({get_audio_request(0, 1000, 4000), stream_info_request()});
  EXPECT_EQ(run(host), 1);
  const std::vector<Reply> sent = replies();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].length, 4033);
  ASSERT_EQ(sent[0].payload.size(), 4032u);
  EXPECT_EQ(read_audio_info(sent[0].payload.data()).byte_count, 4000);
  EXPECT_TRUE(all_zero(sent[0].payload, kAudioInfoSize, sent[0].payload.size()));
  EXPECT_EQ(sent[1].command, kStreamInfoReply);
}

struct BadByteCountCase {
  const char* name;
  int32_t byte_count;
};

class AudioBadByteCount : public ServingTest,
                          public ::testing::WithParamInterface<BadByteCountCase> {};

TEST_P(AudioBadByteCount, EndsTheRunWithoutAReply) {
  ScriptedHost host(kWidth, kHeight);
  client_sends({get_audio_request(0, 10, GetParam().byte_count), stream_info_request()});
  EXPECT_EQ(run(host), 1);
  EXPECT_TRUE(fake_sockets::sent_bytes().empty());
  EXPECT_EQ(host.count(HostCallKind::kGetAudio), 0);
  expect_ended_cleanly();
}

INSTANTIATE_TEST_SUITE_P(
    Counts, AudioBadByteCount,
    ::testing::Values(BadByteCountCase{"MinusOne", -1}, BadByteCountCase{"Lowest", INT32_MIN},
                      // the reply's length field, byte_count + 33, would not fit
                      BadByteCountCase{"LengthFieldOverflows", INT32_MAX - 32},
                      BadByteCountCase{"Highest", INT32_MAX}),
    [](const ::testing::TestParamInfo<BadByteCountCase>& count) { return count.param.name; });

// ---- Framing of requests -----------------------------------------------------------------

struct IgnoredCase {
  const char* name;
  int8_t command;
  size_t payload_size;
};

class IgnoredCommand : public ServingTest, public ::testing::WithParamInterface<IgnoredCase> {};

TEST_P(IgnoredCommand, IsConsumedWholeAndTheNextRequestIsAnswered) {
  ScriptedHost host(kWidth, kHeight);
  // The payload spells a stream-info request: a server out of step would answer it.
  Bytes payload(GetParam().payload_size, 0);
  const Bytes decoy = stream_info_request();
  for (size_t i = 0; i < payload.size(); ++i) payload[i] = decoy[i % decoy.size()];
  client_sends({message(GetParam().command, payload), get_frame_request(2)});
  EXPECT_EQ(run(host), 1);
  const std::vector<Reply> sent = replies();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].command, kFrameReply);
  EXPECT_EQ(frame_info_of(sent[0]).frame_number, 2);
  EXPECT_EQ(fake_sockets::unreceived_bytes(), 0u);
  expect_ended_cleanly();
}

INSTANTIATE_TEST_SUITE_P(
    Commands, IgnoredCommand,
    ::testing::Values(IgnoredCase{"Five", 5, 3}, IgnoredCase{"Zero", 0, 0},
                      IgnoredCase{"Ack", kCompressionAck, 5},
                      IgnoredCase{"StreamInfoReply", kStreamInfoReply, 48},
                      IgnoredCase{"FrameReply", kFrameReply, 80},
                      IgnoredCase{"AudioReply", kAudioReply, 40}, IgnoredCase{"Highest", 127, 1},
                      IgnoredCase{"Byte128", -128, 10}, IgnoredCase{"Byte255", -1, 1023},
                      IgnoredCase{"FullBuffer", 5, 1024}, IgnoredCase{"OneOverTheBuffer", 5, 1025},
                      IgnoredCase{"ManyBuffers", 99, 5000}),
    [](const ::testing::TestParamInfo<IgnoredCase>& command) { return command.param.name; });

TEST_F(ServingTest, OversizedGetFrameIsReadWholeAndAnsweredFromItsFirstBytes) {
  ScriptedHost host(kWidth, kHeight);
  Bytes payload(3000, 0xAB);
  payload[0] = 6;
  payload[1] = payload[2] = payload[3] = 0;
  client_sends({message(kGetFrame, payload), stream_info_request()});
  EXPECT_EQ(run(host), 1);
  const std::vector<Reply> sent = replies();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(frame_info_of(sent[0]).frame_number, 6);
  EXPECT_EQ(sent[1].command, kStreamInfoReply);
}

TEST_F(ServingTest, StreamInfoAndDisconnectPayloadsAreReadAndIgnored) {
  ScriptedHost host(kWidth, kHeight);
  client_sends({message(kGetStreamInfo, Bytes(10, 0x16)), message(kGetStreamInfo),
                message(kDisconnect, Bytes(7, 0x04)), stream_info_request()});
  EXPECT_EQ(run(host), 1);
  EXPECT_EQ(replies().size(), 2u);
  // Nothing after the Disconnect is read.
  EXPECT_EQ(fake_sockets::unreceived_bytes(), stream_info_request().size());
  expect_ended_cleanly();
}

TEST_F(ServingTest, LengthOfZeroOrLessCarriesNoPayload) {
  ScriptedHost host(kWidth, kHeight);
  Bytes zero_length = stream_info_request();
  zero_length[0] = 0;
  Bytes negative_length = stream_info_request();
  negative_length[0] = negative_length[1] = negative_length[2] = negative_length[3] = 0x80;
  client_sends({zero_length, negative_length, stream_info_request()});
  EXPECT_EQ(run(host), 1);
  EXPECT_EQ(replies().size(), 3u);
}

TEST_F(ServingTest, DisconnectEndsTheRunWithOneAndNothingMoreIsRead) {
  ScriptedHost host(kWidth, kHeight);
  client_sends({get_frame_request(0), disconnect_request(), get_frame_request(1)});
  EXPECT_EQ(run(host), 1);
  EXPECT_EQ(sent_frame_numbers(replies()), (std::vector<int32_t>{0}));
  EXPECT_EQ(fake_sockets::unreceived_bytes(), get_frame_request(1).size());
  expect_ended_cleanly();
}

struct ShortPayloadCase {
  const char* name;
  Bytes full_request;  // sent first, so its bytes linger in the receive buffer
  int8_t command;
  size_t payload_size;  // fewer bytes than the command's fields need
};

class ShortPayload : public ServingTest, public ::testing::WithParamInterface<ShortPayloadCase> {};

TEST_P(ShortPayload, EndsTheRunWithoutUsingStaleBytes) {
  const ShortPayloadCase& c = GetParam();
  ScriptedHost host(kWidth, kHeight);
  settings_.read_ahead = 0;
  const Bytes stale = c.full_request;
  const Bytes short_payload(
      stale.begin() + kHeaderSize,
      stale.begin() + kHeaderSize + static_cast<std::ptrdiff_t>(c.payload_size));
  client_sends({c.full_request, message(c.command, short_payload), stream_info_request()});
  EXPECT_EQ(run(host), 1);
  // Only the full request is answered; the short one neither reaches the host nor replies.
  EXPECT_EQ(replies().size(), 1u);
  EXPECT_EQ(host.count(HostCallKind::kGetFrame), c.command == kGetFrame ? 1 : 0);
  EXPECT_EQ(host.count(HostCallKind::kShowProgress), c.command == kGetFrame ? 1 : 0);
  EXPECT_EQ(host.count(HostCallKind::kGetAudio), c.command == kGetAudio ? 1 : 0);
  EXPECT_EQ(fake_sockets::unreceived_bytes(), stream_info_request().size());
  expect_ended_cleanly();
}

std::vector<ShortPayloadCase> short_payload_cases() {
  std::vector<ShortPayloadCase> cases;
  static std::vector<std::string> names;  // TestParamInfo names must outlive the cases
  names.clear();
  names.reserve(40);
  const auto add = [&](const char* kind, const Bytes& full, int8_t command, size_t size) {
    names.push_back(std::string(kind) + "Payload" + std::to_string(size));
    cases.push_back({names.back().c_str(), full, command, size});
  };
  for (size_t size = 0; size < 4; ++size) add("GetFrame", get_frame_request(7), kGetFrame, size);
  for (size_t size = 0; size < 20; ++size) {
    add("GetAudio", get_audio_request(0, 10, 40), kGetAudio, size);
  }
  for (size_t size = 0; size < 9; ++size) {
    add("SetCompression", set_compression_request(0), kSetCompression, size);
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Commands, ShortPayload, ::testing::ValuesIn(short_payload_cases()),
                         [](const ::testing::TestParamInfo<ShortPayloadCase>& payload) {
                           return payload.param.name;
                         });

// ---- Arrival of the client's bytes -------------------------------------------------------

std::vector<Bytes> mixed_conversation() {
  return {stream_info_request(),
          get_frame_request(0),
          get_audio_request(10, 100, 400),
          message(5, {1, 2, 3}),
          get_frame_request(1),
          get_frame_request(5),
          set_compression_request(0),
          message(kGetFrame, Bytes(1500, 0)),
          disconnect_request()};
}

class ReceiveChunking : public ServingTest, public ::testing::WithParamInterface<int> {};

TEST_P(ReceiveChunking, ServesTheSameRepliesHoweverTheBytesArrive) {
  fake_sockets::reset();
  {
    ScriptedHost host(kWidth, kHeight);
    client_sends(mixed_conversation());
    ASSERT_EQ(run(host), 1);
  }
  const Bytes whole = fake_sockets::sent_bytes();

  fake_sockets::reset();
  ScriptedHost host(kWidth, kHeight);
  fake_sockets::set_receive_chunk_limit(GetParam());
  fake_sockets::client_sends(concat(mixed_conversation()));
  EXPECT_EQ(run(host), 1);
  EXPECT_EQ(fake_sockets::sent_bytes(), whole);
  EXPECT_EQ(sent_frame_numbers(replies()), (std::vector<int32_t>{0, 1, 5, 0}));
  expect_ended_cleanly();
}

INSTANTIATE_TEST_SUITE_P(Limits, ReceiveChunking, ::testing::Values(1, 2, 3, 4, 5, 7, 1024));

TEST_F(ServingTest, BytesThatArriveLateAreWaitedFor) {
  ScriptedHost host(kWidth, kHeight);
  const Bytes request = get_frame_request(3);
  fake_sockets::client_sends(Bytes(request.begin(), request.begin() + 2), 0);
  fake_sockets::client_sends(Bytes(request.begin() + 2, request.begin() + 6), 400);
  fake_sockets::client_sends(Bytes(request.begin() + 6, request.end()), 2500);
  EXPECT_EQ(run(host), 1);
  EXPECT_EQ(sent_frame_numbers(replies()), (std::vector<int32_t>{3}));
  EXPECT_GE(fake_sockets::now_ms(), 2500);
  expect_ended_cleanly();
}

}  // namespace
}  // namespace quorvel::testing
