// SetCompression: the codec a mask selects, what happens to a prefetched frame, and the
// acknowledgement; the replies' payloads are checked by decoding them with that codec.
#include "wire/compression_selection.h"

#include <gtest/gtest.h>

#include <vector>

#include "codecs/codec_factory.h"
#include "tests/server/serving_harness.h"

namespace quorvel::testing {
namespace {

constexpr int32_t kWidth = 16;
constexpr int32_t kHeight = 6;

const Bytes kAck = {0x01, 0x00, 0x00, 0x00, 0x06};

// The frame the reply carries, rebuilt by a fresh codec of the reply's type.
Bytes decoded_frame(const Reply& reply) {
  const FrameInfoRecord record = frame_info_of(reply);
  const Bytes payload = frame_payload_of(reply);
  std::unique_ptr<FrameCodec> codec = make_codec(static_cast<CompressionType>(record.compression));
  if (codec == nullptr) return {};
  const int32_t n = codec->decode(payload.data(), record.row_bytes, record.rows, record.pitch,
                                  static_cast<int32_t>(payload.size()));
  Bytes frame(codec->output_buffer, codec->output_buffer + (n > 0 ? n : 0));
  codec->release_output();
  return frame;
}

struct MaskCase {
  uint8_t mask;
  CompressionType type;
};

class MaskSelection : public ::testing::TestWithParam<MaskCase> {};

TEST_P(MaskSelection, TestsBitsFourTwoOneInThatOrder) {
  EXPECT_EQ(select_compression(GetParam().mask), GetParam().type)
      << "mask " << static_cast<int>(GetParam().mask);
}

INSTANTIATE_TEST_SUITE_P(
    Masks, MaskSelection,
    ::testing::Values(MaskCase{7, kCompressionDeflate}, MaskCase{6, kCompressionDeflate},
                      MaskCase{5, kCompressionDeflate}, MaskCase{4, kCompressionDeflate},
                      MaskCase{3, kCompressionFano}, MaskCase{2, kCompressionFano},
                      MaskCase{1, kCompressionLzo}, MaskCase{0, kCompressionNone},
                      MaskCase{8, kCompressionNone}, MaskCase{0xF8, kCompressionNone},
                      MaskCase{0xF9, kCompressionLzo}, MaskCase{0xFA, kCompressionFano},
                      MaskCase{0xFF, kCompressionDeflate}));

class SetCompression : public ServingTest, public ::testing::WithParamInterface<MaskCase> {};

TEST_P(SetCompression, LaterFrameRepliesCarryTheSelectedCodec) {
  ScriptedHost host(kWidth, kHeight);
  client_sends({set_compression_request(GetParam().mask), get_frame_request(0),
                get_frame_request(1), get_frame_request(5)});
  EXPECT_EQ(run(host), 1);
  const std::vector<Reply> sent = replies();
  ASSERT_EQ(sent.size(), 4u);
  EXPECT_EQ(sent[0].command, kCompressionAck);
  EXPECT_EQ(sent[0].length, 1);
  // A compressed frame reply, header, record and payload, goes out in one send.
  std::vector<int> one_send_each = {kHeaderSize};
  for (size_t i = 1; i < sent.size(); ++i) {
    const FrameInfoRecord record = frame_info_of(sent[i]);
    one_send_each.push_back(kHeaderSize + kFrameInfoSize + record.payload_size);
    EXPECT_EQ(record.compression, GetParam().type);
    EXPECT_EQ(record.payload_size, static_cast<int32_t>(frame_payload_of(sent[i]).size()));
    EXPECT_EQ(sent[i].length, record.payload_size + 69);
    EXPECT_EQ(decoded_frame(sent[i]), host.expected_frame(record.frame_number))
        << "frame " << record.frame_number;
  }
  EXPECT_EQ(sent_frame_numbers(sent), (std::vector<int32_t>{0, 1, 5}));
  EXPECT_EQ(fake_sockets::send_sizes(), one_send_each);
  expect_ended_cleanly();
}

INSTANTIATE_TEST_SUITE_P(Masks, SetCompression,
                         ::testing::Values(MaskCase{7, kCompressionDeflate},
                                           MaskCase{6, kCompressionDeflate},
                                           MaskCase{3, kCompressionFano},
                                           MaskCase{1, kCompressionLzo},
                                           MaskCase{0xF9, kCompressionLzo}));

class MaskWithoutCodecBits : public ServingTest, public ::testing::WithParamInterface<uint8_t> {};

TEST_P(MaskWithoutCodecBits, IsAcknowledgedAndKeepsCodecAndPrefetchedFrame) {
  ScriptedHost host(kWidth, kHeight);
  client_sends({get_frame_request(8), set_compression_request(GetParam()), get_frame_request(9)});
  EXPECT_EQ(run(host), 1);
  const std::vector<Reply> sent = replies();
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent[1].length, 1);
  EXPECT_EQ(sent[1].command, kCompressionAck);
  EXPECT_TRUE(sent[1].payload.empty());
  // Frame 9 was prefetched before the request and is sent as it was prepared.
  EXPECT_EQ(host.fetched_frames(), (std::vector<int32_t>{8, 9, 10}));
  EXPECT_EQ(frame_info_of(sent[2]).frame_number, 9);
  EXPECT_EQ(frame_info_of(sent[2]).compression, 0);
  EXPECT_EQ(frame_payload_of(sent[2]), host.expected_frame(9));
  expect_ended_cleanly();
}

INSTANTIATE_TEST_SUITE_P(Masks, MaskWithoutCodecBits, ::testing::Values(0, 8, 0x10, 0xF8));

TEST_F(ServingTest, MaskWithoutCodecBitsKeepsACompressingCodec) {
  ScriptedHost host(kWidth, kHeight);
  client_sends({set_compression_request(1), get_frame_request(0), set_compression_request(8),
                get_frame_request(1)});
  EXPECT_EQ(run(host), 1);
  const std::vector<Reply> sent = replies();
  ASSERT_EQ(sent.size(), 4u);
  EXPECT_EQ(frame_info_of(sent[3]).compression, kCompressionLzo);
  EXPECT_EQ(host.fetched_frames(), (std::vector<int32_t>{0, 1, 2}));  // 1 stayed prefetched
  EXPECT_EQ(decoded_frame(sent[3]), host.expected_frame(1));
}

TEST_F(ServingTest, AckIsTheSameWhetherACodecWasChosenOrNot) {
  ScriptedHost host(kWidth, kHeight);
  client_sends(
      {set_compression_request(0), set_compression_request(1), set_compression_request(0x80)});
  EXPECT_EQ(run(host), 1);
  EXPECT_EQ(fake_sockets::sent_bytes(), concat({kAck, kAck, kAck}));
  EXPECT_EQ(fake_sockets::send_sizes(), (std::vector<int>{5, 5, 5}));
}

TEST_F(ServingTest, NewCodecDropsTheRawPrefetchedFrameAndFetchesItAgain) {
  ScriptedHost host(kWidth, kHeight);
  client_sends({get_frame_request(7), set_compression_request(1), get_frame_request(8)});
  EXPECT_EQ(run(host), 1);
  // 8 was prefetched raw after 7; the request for 8 fetches it again for the new codec.
  EXPECT_EQ(host.fetched_frames(), (std::vector<int32_t>{7, 8, 8, 9}));
  const std::vector<Reply> sent = replies();
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(frame_info_of(sent[2]).frame_number, 8);
  EXPECT_EQ(frame_info_of(sent[2]).compression, kCompressionLzo);
  EXPECT_EQ(decoded_frame(sent[2]), host.expected_frame(8));
  expect_ended_cleanly();
}

TEST_F(ServingTest, TwoLzoRequestsInARowBuildAFreshCodecEachTime) {
  ScriptedHost host(kWidth, kHeight);
  client_sends({set_compression_request(1), get_frame_request(0), set_compression_request(1),
                set_compression_request(1), get_frame_request(1)});
  EXPECT_EQ(run(host), 1);
  // Frame 1, prefetched by the first LZO codec, does not survive the second request.
  EXPECT_EQ(host.fetched_frames(), (std::vector<int32_t>{0, 1, 1, 2}));
  const std::vector<Reply> sent = replies();
  ASSERT_EQ(sent.size(), 5u);
  EXPECT_EQ(frame_info_of(sent[1]).compression, kCompressionLzo);
  EXPECT_EQ(frame_info_of(sent[4]).compression, kCompressionLzo);
  EXPECT_EQ(decoded_frame(sent[4]), host.expected_frame(1));
  expect_ended_cleanly();
}

// Every switch between the codecs that exist, with an encoded frame prefetched each time:
// none of those frames may leak (LeakSanitizer) or be sent by the wrong codec.
TEST_F(ServingTest, SwitchingBetweenEveryPairOfCodecsKeepsRepliesDecodable) {
  const std::vector<std::pair<uint8_t, CompressionType>> codecs = {
      {0, kCompressionNone}, {1, kCompressionLzo}, {2, kCompressionFano}, {4, kCompressionDeflate}};
  ScriptedHost host(kWidth, kHeight);
  std::vector<Bytes> requests;
  std::vector<CompressionType> expected_types;
  int32_t frame = 0;
  CompressionType in_force = kCompressionNone;
  for (const auto& from : codecs) {
    for (const auto& to : codecs) {
      for (const auto& step : {from, to}) {
        if (step.first != 0) {
          requests.push_back(set_compression_request(step.first));
          in_force = step.second;
        }
        requests.push_back(get_frame_request(frame++));
        expected_types.push_back(in_force);
      }
    }
  }
  client_sends(requests);
  EXPECT_EQ(run(host), 1);
  std::vector<CompressionType> types;
  for (const Reply& reply : replies()) {
    if (reply.command != kFrameReply) continue;
    const FrameInfoRecord record = frame_info_of(reply);
    types.push_back(static_cast<CompressionType>(record.compression));
    EXPECT_EQ(decoded_frame(reply), host.expected_frame(record.frame_number))
        << "frame " << record.frame_number << " type " << record.compression;
  }
  EXPECT_EQ(types, expected_types);
  expect_ended_cleanly();
}

}  // namespace
}  // namespace quorvel::testing
