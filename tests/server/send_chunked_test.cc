// SendChunked against the scripted sockets layer: piece sizes, short sends, failures.
#include "server/send_chunked.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/support/fake_sockets.h"
#include "tests/support/scripted_host.h"

namespace quorvel {
namespace {

using Bytes = std::vector<uint8_t>;

class SendChunkedTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake_sockets::reset();
    listener_ = net::open_stream_socket();
    client_ = net::accept_client(listener_);
    ASSERT_EQ(client_, fake_sockets::kClientHandle);
  }

  static Bytes data_of(size_t size) {
    Bytes data(size);
    for (size_t i = 0; i < size; ++i) data[i] = ScriptedHost::frame_byte(3, static_cast<int64_t>(i));
    return data;
  }

  int32_t send(const Bytes& data) {
    return SendChunked(client_, data.data(), static_cast<int32_t>(data.size()));
  }

  net::SocketHandle listener_ = net::kInvalidSocket;
  net::SocketHandle client_ = net::kInvalidSocket;
};

struct PieceCase {
  int32_t length;
  std::vector<int> pieces;
};

class SendChunkedPieces : public SendChunkedTest,
                          public ::testing::WithParamInterface<PieceCase> {};

TEST_P(SendChunkedPieces, SendsPiecesOfAtMost65536) {
  const Bytes data = data_of(static_cast<size_t>(GetParam().length));
  EXPECT_EQ(send(data), GetParam().length);
  EXPECT_EQ(fake_sockets::send_sizes(), GetParam().pieces);
  EXPECT_EQ(fake_sockets::sent_bytes(), data);
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, SendChunkedPieces,
    ::testing::Values(PieceCase{0, {}}, PieceCase{1, {1}}, PieceCase{65535, {65535}},
                      PieceCase{65536, {65536}}, PieceCase{65537, {65536, 1}},
                      PieceCase{131072, {65536, 65536}},
                      PieceCase{200000, {65536, 65536, 65536, 3392}}));

TEST_F(SendChunkedTest, NegativeLengthSendsNothing) {
  const Bytes data = data_of(8);
  EXPECT_EQ(SendChunked(client_, data.data(), -8), 0);
  EXPECT_TRUE(fake_sockets::send_calls().empty());
}

TEST_F(SendChunkedTest, ShortSendsAreFollowedByTheRestInOrder) {
  fake_sockets::set_send_limit(1000);
  const Bytes data = data_of(2500);
  EXPECT_EQ(send(data), 2500);
  EXPECT_EQ(fake_sockets::send_sizes(), (std::vector<int>{2500, 1500, 500}));
  EXPECT_EQ(fake_sockets::sent_bytes(), data);
}

TEST_F(SendChunkedTest, ShortSendOfAFullPieceKeepsPiecesAtMost65536) {
  fake_sockets::set_send_limit(40000);
  const Bytes data = data_of(150000);
  EXPECT_EQ(send(data), 150000);
  EXPECT_EQ(fake_sockets::send_sizes(), (std::vector<int>{65536, 65536, 65536, 30000}));
  EXPECT_EQ(fake_sockets::sent_bytes(), data);
}

struct FailureCase {
  int failing_call;  // 1-based
  int result;        // what the failing send() returns
  int32_t sent;      // what SendChunked reports
};

class SendChunkedFailure : public SendChunkedTest,
                           public ::testing::WithParamInterface<FailureCase> {};

TEST_P(SendChunkedFailure, StopsAtTheFailedPieceAndReturnsTheBytesSoFar) {
  fake_sockets::fail_send_from_call(GetParam().failing_call, GetParam().result);
  EXPECT_EQ(send(data_of(200000)), GetParam().sent);
  // No piece is tried after the failed one.
  EXPECT_EQ(fake_sockets::send_calls().size(), static_cast<size_t>(GetParam().failing_call));
}

INSTANTIATE_TEST_SUITE_P(Pieces, SendChunkedFailure,
                         ::testing::Values(FailureCase{1, -1, 0}, FailureCase{1, 0, 0},
                                           FailureCase{2, -1, 65536},
                                           FailureCase{3, 0, 131072},
                                           FailureCase{4, -1, 196608}));

}  // namespace
}  // namespace quorvel
