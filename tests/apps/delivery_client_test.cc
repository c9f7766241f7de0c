// DeliveryClient against a scripted server on 127.0.0.1: every reply that does not fit the
// request or the stream is refused with kMalformed (or kClosed when the server hangs up
// mid-reply) before its bytes are used, and good replies decode through every codec.
#include "client/delivery_client.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "apps/fetch/fetch_job.h"
#include "apps/fetch/output_file.h"
#include "codecs/codec_factory.h"
#include "tests/apps/media_files.h"
#include "util/little_endian.h"
#include "wire/protocol.h"

namespace quorvel::client {
namespace {

using Bytes = std::vector<uint8_t>;

// Accepts one client and answers its requests, in order, with the scripted replies (an
// empty reply sends nothing); closes the connection after the last one. With groups, it
// reads groups[k] requests before it answers any of them (then one at a time), as a server
// sees a client that sends requests ahead of their replies.
class ScriptedServer {
 public:
  explicit ScriptedServer(std::vector<Bytes> replies, std::vector<size_t> groups = {})
      : replies_(std::move(replies)), groups_(std::move(groups)) {
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(listener_, 1);
    socklen_t size = sizeof address;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { serve(); });
  }
  ~ScriptedServer() {
    finish();
    close(listener_);
  }
  // Waits until the server has handled its script (or the client went away).
  void finish() {
    if (thread_.joinable()) thread_.join();
  }
  std::string port() const { return std::to_string(port_); }
  // The requests as received, header included.
  const std::vector<Bytes>& requests() const { return requests_; }

 private:
  bool read_exactly(int fd, uint8_t* buffer, size_t length) {
    for (size_t got = 0; got < length;) {
      const ssize_t piece = recv(fd, buffer + got, length - got, 0);
      if (piece <= 0) return false;
      got += static_cast<size_t>(piece);
    }
    return true;
  }
  bool read_request(int fd) {
    Bytes request(kHeaderSize);
    if (!read_exactly(fd, request.data(), kHeaderSize)) return false;
    const int32_t length = get_le32_signed(request.data());
    request.resize(kHeaderSize + static_cast<size_t>(length - 1));
    if (length > 1 &&
        !read_exactly(fd, request.data() + kHeaderSize, static_cast<size_t>(length - 1)))
      return false;
    requests_.push_back(request);
    return true;
  }
  void serve() {
    const int client = accept(listener_, nullptr, nullptr);
    if (client < 0) return;
    size_t answered = 0;
    for (size_t group = 0; answered < replies_.size(); ++group) {
      const size_t size = group < groups_.size() ? groups_[group] : 1;
      const size_t end = std::min(replies_.size(), answered + size);
      bool read_all = true;
      for (size_t i = answered; i < end && read_all; ++i) read_all = read_request(client);
      if (!read_all) break;
      for (; answered < end; ++answered) {
        const Bytes& reply = replies_[answered];
        if (!reply.empty()) send(client, reply.data(), reply.size(), MSG_NOSIGNAL);
      }
    }
    close(client);
  }

  std::vector<Bytes> replies_;
  std::vector<size_t> groups_;
  std::vector<Bytes> requests_;
  int listener_ = -1;
  uint16_t port_ = 0;
  std::thread thread_;
};

// The stream every test uses: 4x2 YUY2 (16-byte frames), 10 frames at 25/1, stereo audio.
StreamInfoRecord test_stream() {
  StreamInfoRecord info;
  info.width = 4;
  info.height = 2;
  info.rate = 25;
  info.scale = 1;
  info.frame_count = 10;
  info.pixel_type = kPixelTypeYuy2;
  info.audio_rate = 48000;
  info.sample_type = kSampleTypeInt16;
  info.sample_count = 100;
  info.channels = 2;
  info.image_type = kImageTopFieldFirst;
  return info;
}

Bytes stream_info_reply(const StreamInfoRecord& info, int32_t length = 1 + kStreamInfoSize) {
  Bytes reply(kHeaderSize + kStreamInfoSize);
  write_header(reply.data(), length, kStreamInfoReply);
  write_stream_info(info, reply.data() + kHeaderSize);
  return reply;
}

Bytes frame_reply(const FrameInfoRecord& record, const Bytes& payload, int32_t length_adjust = 0,
                  int8_t command = kFrameReply) {
  Bytes reply(kHeaderSize + kFrameInfoSize);
  write_header(reply.data(),
               1 + kFrameInfoSize + static_cast<int32_t>(payload.size()) + length_adjust, command);
  write_frame_info(record, reply.data() + kHeaderSize);
  reply.insert(reply.end(), payload.begin(), payload.end());
  return reply;
}

FrameInfoRecord raw_record(int32_t frame_number) {
  FrameInfoRecord record;
  record.frame_number = frame_number;
  record.row_bytes = 8;
  record.rows = 2;
  record.pitch = 8;
  record.payload_size = 16;
  record.compression = kCompressionNone;
  record.frame_size = 16;
  return record;
}

Bytes numbered_frame() {
  Bytes frame(16);
  for (size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<uint8_t>(7 * i + 3);
  return frame;
}

Bytes audio_reply(int32_t byte_count, int32_t second, int32_t third, const Bytes& audio,
                  int32_t length_adjust = 0) {
  Bytes reply(kHeaderSize + kAudioInfoSize, 0);
  write_header(reply.data(),
               1 + kAudioInfoSize + static_cast<int32_t>(audio.size()) + length_adjust,
               kAudioReply);
  put_le32(reply.data() + kHeaderSize, static_cast<uint32_t>(byte_count));
  put_le32(reply.data() + kHeaderSize + 4, static_cast<uint32_t>(second));
  put_le32(reply.data() + kHeaderSize + 8, static_cast<uint32_t>(third));
  reply.insert(reply.end(), audio.begin(), audio.end());
  return reply;
}

bool connect_to(DeliveryClient& client, const ScriptedServer& server) {
  return client.connect("127.0.0.1", server.port(), 5000);
}

TEST(DeliveryClientTest, GoodRepliesAreDeliveredAndRequestsLaidOutAsTheServerReadsThem) {
  const Bytes frame = numbered_frame();
  const Bytes audio(40, 0x5A);
  auto server =
      std::make_unique<ScriptedServer>(std::vector<Bytes>{stream_info_reply(test_stream()),
                                                          frame_reply(raw_record(3), frame),
                                                          audio_reply(40, 0, 40, audio),
                                                          {}});
  DeliveryClient client;
  ASSERT_TRUE(connect_to(client, *server)) << client.error();
  StreamInfoRecord info;
  ASSERT_TRUE(client.get_stream_info(&info)) << client.error();
  EXPECT_EQ(info.frame_count, 10);
  Bytes received;
  FrameReplyInfo reply;
  ASSERT_TRUE(client.get_frame(3, &received, &reply)) << client.error();
  EXPECT_EQ(received, frame);
  EXPECT_EQ(reply.payload_size, 16);
  Bytes samples;
  ASSERT_TRUE(client.get_audio(20, 10, &samples)) << client.error();
  EXPECT_EQ(samples, audio);
  EXPECT_EQ(client.bytes_received(), 5u + 48 + 5 + 68 + 16 + 5 + 32 + 40);
  EXPECT_TRUE(client.disconnect());

  server->finish();
  const std::vector<Bytes>& requests = server->requests();
  ASSERT_EQ(requests.size(), 4u);
  EXPECT_EQ(requests[0], (Bytes{1, 0, 0, 0, kGetStreamInfo}));
  EXPECT_EQ(requests[1], (Bytes{5, 0, 0, 0, kGetFrame, 3, 0, 0, 0}));
  Bytes get_audio(25, 0);
  get_audio[0] = 21;
  get_audio[4] = kGetAudio;
  get_audio[5] = 20;       // first sample
  get_audio[5 + 8] = 10;   // sample count
  get_audio[5 + 16] = 40;  // bytes: 10 samples of 2 channels
  EXPECT_EQ(requests[2], get_audio);
  EXPECT_EQ(requests[3], (Bytes{1, 0, 0, 0, kDisconnect}));
}

TEST(DeliveryClientTest, UnusableStreamInfoIsRefused) {
  struct Case {
    const char* what;
    std::function<void(StreamInfoRecord&)> change;
    int32_t length;
  };
  const Case cases[] = {
      {"length 48", [](StreamInfoRecord&) {}, kStreamInfoSize},
      {"pixel type", [](StreamInfoRecord& info) { info.pixel_type = 0xA0000008u; }, 49},
      {"odd width", [](StreamInfoRecord& info) { info.width = 5; }, 49},
      {"negative width", [](StreamInfoRecord& info) { info.width = -4; }, 49},
      {"zero height", [](StreamInfoRecord& info) { info.height = 0; }, 49},
      {"huge frame",
       [](StreamInfoRecord& info) {
         info.width = 65536;
         info.height = 65536;
       },
       49},
      {"zero rate", [](StreamInfoRecord& info) { info.rate = 0; }, 49},
      {"zero scale", [](StreamInfoRecord& info) { info.scale = 0; }, 49},
      {"negative frame count", [](StreamInfoRecord& info) { info.frame_count = -1; }, 49},
      {"negative audio rate", [](StreamInfoRecord& info) { info.audio_rate = -48000; }, 49},
      {"float samples", [](StreamInfoRecord& info) { info.sample_type = 16; }, 49},
      {"nine channels", [](StreamInfoRecord& info) { info.channels = 9; }, 49},
      {"no channels", [](StreamInfoRecord& info) { info.channels = 0; }, 49},
      {"sample count past 32 bits", [](StreamInfoRecord& info) { info.sample_count = 1ull << 33; },
       49},
  };
  for (const Case& c : cases) {
    StreamInfoRecord info = test_stream();
    c.change(info);
    ScriptedServer server({stream_info_reply(info, c.length)});
    DeliveryClient client;
    ASSERT_TRUE(connect_to(client, server));
    EXPECT_FALSE(client.get_stream_info(nullptr)) << c.what;
    EXPECT_EQ(client.status(), ClientStatus::kMalformed) << c.what << ": " << client.error();
    EXPECT_FALSE(client.error().empty());
  }
}

TEST(DeliveryClientTest, FrameRepliesThatDoNotFitTheStreamAreRefused) {
  struct Case {
    const char* what;
    std::function<void(FrameInfoRecord&)> change;
    int32_t length_adjust;
    int8_t command;
    ClientStatus expected;
  };
  const Case cases[] = {
      {"other command", [](FrameInfoRecord&) {}, 0, kAudioReply, ClientStatus::kMalformed},
      {"other frame", [](FrameInfoRecord& r) { r.frame_number = 4; }, 0, kFrameReply,
       ClientStatus::kMalformed},
      {"rows", [](FrameInfoRecord& r) { r.rows = 4; }, 0, kFrameReply, ClientStatus::kMalformed},
      {"row bytes", [](FrameInfoRecord& r) { r.row_bytes = 4; }, 0, kFrameReply,
       ClientStatus::kMalformed},
      {"pitch", [](FrameInfoRecord& r) { r.pitch = 16; }, 0, kFrameReply, ClientStatus::kMalformed},
      {"payload size vs length", [](FrameInfoRecord& r) { r.payload_size = 15; }, 0, kFrameReply,
       ClientStatus::kMalformed},
      {"negative payload size", [](FrameInfoRecord& r) { r.payload_size = -16; }, -32, kFrameReply,
       ClientStatus::kMalformed},
      {"huge payload size", [](FrameInfoRecord& r) { r.payload_size = 1 << 30; }, (1 << 30) - 16,
       kFrameReply, ClientStatus::kMalformed},
      {"compression not in force", [](FrameInfoRecord& r) { r.compression = kCompressionLzo; }, 0,
       kFrameReply, ClientStatus::kMalformed},
      {"unknown compression", [](FrameInfoRecord& r) { r.compression = 3; }, 0, kFrameReply,
       ClientStatus::kMalformed},
      {"length below the record", [](FrameInfoRecord&) {}, -(16 + 60), kFrameReply,
       ClientStatus::kMalformed},
      {"negative length", [](FrameInfoRecord&) {}, -(16 + 70 + 5), kFrameReply,
       ClientStatus::kMalformed},
  };
  for (const Case& c : cases) {
    FrameInfoRecord record = raw_record(3);
    c.change(record);
    ScriptedServer server({stream_info_reply(test_stream()),
                           frame_reply(record, numbered_frame(), c.length_adjust, c.command)});
    DeliveryClient client;
    ASSERT_TRUE(connect_to(client, server));
    ASSERT_TRUE(client.get_stream_info(nullptr));
    Bytes frame;
    EXPECT_FALSE(client.get_frame(3, &frame)) << c.what;
    EXPECT_EQ(client.status(), c.expected) << c.what << ": " << client.error();
    EXPECT_FALSE(client.connected()) << c.what;
  }
}

TEST(DeliveryClientTest, ServerClosingMidPayloadIsAClosedConnection) {
  Bytes reply = frame_reply(raw_record(3), numbered_frame());
  reply.resize(reply.size() - 8);
  ScriptedServer server({stream_info_reply(test_stream()), reply});
  DeliveryClient client;
  ASSERT_TRUE(connect_to(client, server));
  ASSERT_TRUE(client.get_stream_info(nullptr));
  Bytes frame;
  EXPECT_FALSE(client.get_frame(3, &frame));
  EXPECT_EQ(client.status(), ClientStatus::kClosed) << client.error();
  EXPECT_NE(client.error().find("closed"), std::string::npos) << client.error();
}

TEST(DeliveryClientTest, RawFrameOfTheWrongSizeIsRefused) {
  FrameInfoRecord record = raw_record(0);
  record.payload_size = 8;
  ScriptedServer server({stream_info_reply(test_stream()), frame_reply(record, Bytes(8, 1))});
  DeliveryClient client;
  ASSERT_TRUE(connect_to(client, server));
  ASSERT_TRUE(client.get_stream_info(nullptr));
  Bytes frame;
  EXPECT_FALSE(client.get_frame(0, &frame));
  EXPECT_EQ(client.status(), ClientStatus::kMalformed);
  EXPECT_NE(client.error().find("uncompressed"), std::string::npos) << client.error();
}

TEST(DeliveryClientTest, AudioRepliesThatDoNotFitTheRequestAreRefused) {
  struct Case {
    const char* what;
    int32_t byte_count, second, third, length_adjust;
    size_t audio_bytes;
  };
  const Case cases[] = {
      {"length", 40, 0, 40, 4, 44},
      {"byte count", 36, 0, 36, 0, 40},
      {"second field", 40, 1, 40, 0, 40},
      {"third field", 40, 0, 0, 0, 40},
  };
  for (const Case& c : cases) {
    ScriptedServer server(
        {stream_info_reply(test_stream()),
         audio_reply(c.byte_count, c.second, c.third, Bytes(c.audio_bytes, 0), c.length_adjust)});
    DeliveryClient client;
    ASSERT_TRUE(connect_to(client, server));
    ASSERT_TRUE(client.get_stream_info(nullptr));
    Bytes audio;
    EXPECT_FALSE(client.get_audio(0, 10, &audio)) << c.what;
    EXPECT_EQ(client.status(), ClientStatus::kMalformed) << c.what << ": " << client.error();
  }
}

TEST(DeliveryClientTest, RequestsThatNeedTheStreamInfoFirstAreMisuse) {
  ScriptedServer server({});
  DeliveryClient client;
  ASSERT_TRUE(connect_to(client, server));
  Bytes bytes;
  EXPECT_FALSE(client.get_frame(0, &bytes));
  EXPECT_EQ(client.status(), ClientStatus::kMisuse);
  EXPECT_FALSE(client.get_audio(0, 1, &bytes));
  EXPECT_EQ(client.status(), ClientStatus::kMisuse);
}

TEST(DeliveryClientTest, ClosedServerAndRefusedConnection) {
  {
    ScriptedServer server({});  // accepts, then closes at once
    DeliveryClient client;
    ASSERT_TRUE(connect_to(client, server));
    EXPECT_FALSE(client.get_stream_info(nullptr));
    EXPECT_EQ(client.status(), ClientStatus::kClosed) << client.error();
  }
  uint16_t free_port;
  {
    ScriptedServer server({});
    free_port = static_cast<uint16_t>(std::stoi(server.port()));
    DeliveryClient client;
    ASSERT_TRUE(connect_to(client, server));  // lets the server thread end
  }
  DeliveryClient client;
  EXPECT_FALSE(client.connect("127.0.0.1", std::to_string(free_port), 5000));
  EXPECT_EQ(client.status(), ClientStatus::kConnectFailed);
  EXPECT_NE(client.error().find("refused"), std::string::npos) << client.error();
}

// A frame encoded by each compressing codec, as a server would send it, comes back whole
// after SetCompression, and the codec named in the replies must be the one selected. Besides
// the 4x2 stream, one row of 100 pixels of distinct bytes: its prefix-code payload (a tree of
// 200 leaves and codes of 8 bits and more) is longer than twice the frame, as such small
// frames legitimately are.
TEST(DeliveryClientTest, CompressedFramesDecodeThroughTheNamedCodec) {
  struct Shape {
    int32_t width, height;
  };
  const CompressionType types[] = {kCompressionLzo, kCompressionFano, kCompressionDeflate};
  for (const Shape shape : {Shape{4, 2}, Shape{100, 1}}) {
    StreamInfoRecord stream = test_stream();
    stream.width = shape.width;
    stream.height = shape.height;
    const int32_t row_bytes = shape.width * 2;
    Bytes original(static_cast<size_t>(row_bytes * shape.height));
    for (size_t i = 0; i < original.size(); ++i) original[i] = static_cast<uint8_t>(7 * i + 3);
    for (const CompressionType type : types) {
      SCOPED_TRACE(std::string(compression_name(type)) + " " + std::to_string(shape.width) + "x" +
                   std::to_string(shape.height));
      std::unique_ptr<FrameCodec> encoder = make_codec(type);
      ASSERT_NE(encoder, nullptr);
      init_codec_libraries();
      Bytes frame = original;
      const int32_t size = encoder->encode(frame.data(), row_bytes, shape.height, row_bytes);
      ASSERT_GT(size, 0);
      const Bytes payload(encoder->output_buffer, encoder->output_buffer + size);
      encoder->release_output();
      FrameInfoRecord record = raw_record(1);
      record.row_bytes = row_bytes;
      record.pitch = row_bytes;
      record.rows = shape.height;
      record.compression = type;
      record.payload_size = size;
      Bytes ack(kHeaderSize);
      write_header(ack.data(), 1, kCompressionAck);
      FrameInfoRecord wrong = record;
      wrong.compression = kCompressionNone;
      wrong.payload_size = static_cast<int32_t>(original.size());
      ScriptedServer server({stream_info_reply(stream), ack, frame_reply(record, payload),
                             frame_reply(wrong, original)});
      DeliveryClient client;
      ASSERT_TRUE(connect_to(client, server));
      ASSERT_TRUE(client.get_stream_info(nullptr));
      ASSERT_TRUE(client.set_compression(static_cast<uint8_t>(type))) << client.error();
      Bytes received;
      ASSERT_TRUE(client.get_frame(1, &received)) << client.error();
      EXPECT_EQ(received, original);
      EXPECT_FALSE(client.get_frame(1, &received)) << "a raw frame after the compressed one";
      EXPECT_EQ(client.status(), ClientStatus::kMalformed);
    }
  }
}

// A server that cannot encode a frame sends its record with payload_size 0 and closes: that
// is no frame, not an all-zero one.
TEST(DeliveryClientTest, EmptyCompressedPayloadIsRefused) {
  for (const CompressionType type : {kCompressionLzo, kCompressionFano, kCompressionDeflate}) {
    FrameInfoRecord record = raw_record(0);
    record.compression = type;
    record.payload_size = 0;
    Bytes ack(kHeaderSize);
    write_header(ack.data(), 1, kCompressionAck);
    ScriptedServer server({stream_info_reply(test_stream()), ack, frame_reply(record, {})});
    DeliveryClient client;
    ASSERT_TRUE(connect_to(client, server));
    ASSERT_TRUE(client.get_stream_info(nullptr));
    ASSERT_TRUE(client.set_compression(static_cast<uint8_t>(type)));
    Bytes received;
    EXPECT_FALSE(client.get_frame(0, &received)) << compression_name(type);
    EXPECT_EQ(client.status(), ClientStatus::kMalformed) << client.error();
  }
}

TEST(DeliveryClientTest, TruncatedLzoPayloadIsRefused) {
  std::unique_ptr<FrameCodec> encoder = make_codec(kCompressionLzo);
  ASSERT_NE(encoder, nullptr);
  init_codec_libraries();
  Bytes frame(16);
  for (size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<uint8_t>(i * i * 37);
  const int32_t size = encoder->encode(frame.data(), 8, 2, 8);
  Bytes payload(encoder->output_buffer, encoder->output_buffer + size);
  encoder->release_output();
  payload.resize(payload.size() / 2);
  FrameInfoRecord record = raw_record(0);
  record.compression = kCompressionLzo;
  record.payload_size = static_cast<int32_t>(payload.size());
  Bytes ack(kHeaderSize);
  write_header(ack.data(), 1, kCompressionAck);
  ScriptedServer server({stream_info_reply(test_stream()), ack, frame_reply(record, payload)});
  DeliveryClient client;
  ASSERT_TRUE(connect_to(client, server));
  ASSERT_TRUE(client.get_stream_info(nullptr));
  ASSERT_TRUE(client.set_compression(kCompressionLzo));
  Bytes received;
  EXPECT_FALSE(client.get_frame(0, &received));
  EXPECT_EQ(client.status(), ClientStatus::kMalformed) << client.error();
}

// The fetch sends requests ahead of their replies: a server that reads four requests before
// it answers any of them is served (a client waiting for each reply would time out), and
// the frames come out in the order they were asked for, though written on another thread.
TEST(FetchJobTest, RequestsGoOutAheadOfTheirRepliesAndFramesKeepTheirOrder) {
  StreamInfoRecord video_only = test_stream();
  video_only.audio_rate = 0;
  std::vector<Bytes> replies{stream_info_reply(video_only)};
  Bytes expected;
  for (int32_t n = 2; n <= 7; ++n) {
    Bytes frame(16);
    for (size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<uint8_t>(n * 16 + i);
    replies.push_back(frame_reply(raw_record(n), frame));
    expected.insert(expected.end(), frame.begin(), frame.end());
  }
  replies.push_back({});  // Disconnect
  ScriptedServer server(replies, {1, 4, 2});

  DeliveryClient client;
  ASSERT_TRUE(client.connect("127.0.0.1", server.port(), 2000)) << client.error();
  const std::string path = ::testing::TempDir() + "requests_ahead.yuy2";
  OutputFile video(path);
  FetchPlan plan;
  plan.frames = {2, 7};
  plan.frames_given = true;
  plan.raw_video = true;
  plan.requests_ahead = 4;
  FetchSinks sinks;
  sinks.video = &video;
  const FetchOutcome outcome = run_fetch(client, plan, sinks);
  ASSERT_TRUE(outcome.ok) << outcome.error;
  EXPECT_EQ(outcome.frames_written, 6);
  ASSERT_EQ(video.close(), WriteResult::kOk);
  const std::string written = quorvel::testing::read_file(path);
  EXPECT_EQ(Bytes(written.begin(), written.end()), expected);
  server.finish();
  ASSERT_EQ(server.requests().size(), 8u);
  for (int32_t n = 2; n <= 7; ++n) {
    EXPECT_EQ(server.requests()[static_cast<size_t>(n - 1)],
              (Bytes{5, 0, 0, 0, kGetFrame, static_cast<uint8_t>(n), 0, 0, 0}));
  }
  EXPECT_EQ(server.requests().back(), (Bytes{1, 0, 0, 0, kDisconnect}));
}

}  // namespace
}  // namespace quorvel::client
