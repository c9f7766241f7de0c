// SendChunked against the scripted sockets layer: piece sizes, short sends, failures, and a
// client that stops taking bytes while the host may abort.
#include "server/send_chunked.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/support/fake_sockets.h"
#include "tests/support/scripted_host.h"

namespace quorvel {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr int32_t kPiece = kSendPieceSize;
// Three whole pieces and a part of one.
constexpr int32_t kLong = 3 * kPiece + 3392;

// The host's abort callback for these tests: nonzero from fake time g_abort_at_ms on.
int64_t g_abort_at_ms = -1;
int g_abort_polls = 0;
int32_t QUORVEL_CDECL aborted_by_now() {
  ++g_abort_polls;
  return g_abort_at_ms >= 0 && fake_sockets::now_ms() >= g_abort_at_ms ? 1 : 0;
}

class SendChunkedTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake_sockets::reset();
    g_abort_at_ms = -1;
    g_abort_polls = 0;
    listener_ = net::open_stream_socket();
    client_ = net::accept_client(listener_);
    ASSERT_EQ(client_, fake_sockets::kClientHandle);
  }

  static Bytes data_of(size_t size) {
    Bytes data(size);
    for (size_t i = 0; i < size; ++i)
      data[i] = ScriptedHost::frame_byte(3, static_cast<int64_t>(i));
    return data;
  }

  int32_t send(const Bytes& data) {
    return SendChunked(client_, data.data(), static_cast<int32_t>(data.size()), aborted_by_now);
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

TEST_P(SendChunkedPieces, SendsPiecesOfAtMostThePieceSize) {
  const Bytes data = data_of(static_cast<size_t>(GetParam().length));
  EXPECT_EQ(send(data), GetParam().length);
  EXPECT_EQ(fake_sockets::send_sizes(), GetParam().pieces);
  EXPECT_EQ(fake_sockets::sent_bytes(), data);
}

INSTANTIATE_TEST_SUITE_P(Lengths, SendChunkedPieces,
                         ::testing::Values(PieceCase{0, {}}, PieceCase{1, {1}},
                                           PieceCase{kPiece - 1, {kPiece - 1}},
                                           PieceCase{kPiece, {kPiece}},
                                           PieceCase{kPiece + 1, {kPiece, 1}},
                                           PieceCase{2 * kPiece, {kPiece, kPiece}},
                                           PieceCase{kLong, {kPiece, kPiece, kPiece, 3392}}));

TEST_F(SendChunkedTest, NegativeLengthSendsNothing) {
  const Bytes data = data_of(8);
  EXPECT_EQ(SendChunked(client_, data.data(), -8, aborted_by_now), 0);
  EXPECT_TRUE(fake_sockets::send_calls().empty());
}

TEST_F(SendChunkedTest, ShortSendsAreFollowedByTheRestInOrder) {
  fake_sockets::set_send_limit(1000);
  const Bytes data = data_of(2500);
  EXPECT_EQ(send(data), 2500);
  EXPECT_EQ(fake_sockets::send_sizes(), (std::vector<int>{2500, 1500, 500}));
  EXPECT_EQ(fake_sockets::sent_bytes(), data);
}

TEST_F(SendChunkedTest, ShortSendOfAFullPieceKeepsPiecesAtMostThePieceSize) {
  fake_sockets::set_send_limit(kPiece - 1000);
  const Bytes data = data_of(2 * static_cast<size_t>(kPiece));
  EXPECT_EQ(send(data), 2 * kPiece);
  EXPECT_EQ(fake_sockets::send_sizes(), (std::vector<int>{kPiece, kPiece, 2000}));
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
  EXPECT_EQ(send(data_of(kLong)), GetParam().sent);
  // No piece is tried after the failed one.
  EXPECT_EQ(fake_sockets::send_calls().size(), static_cast<size_t>(GetParam().failing_call));
}

INSTANTIATE_TEST_SUITE_P(Pieces, SendChunkedFailure,
                         ::testing::Values(FailureCase{1, -1, 0}, FailureCase{1, 0, 0},
                                           FailureCase{2, -1, kPiece},
                                           FailureCase{3, 0, 2 * kPiece},
                                           FailureCase{4, -1, 3 * kPiece}));

struct StallCase {
  const char* name;
  size_t stall_after;     // bytes the client takes before it stops reading
  int64_t resume_ms;      // when it reads again (-1: never)
  int64_t abort_ms;       // when the host aborts (-1: never)
  int32_t sent;           // what SendChunked reports
  int64_t returns_by_ms;  // the fake time by which SendChunked has returned
};

class SendChunkedStall : public SendChunkedTest, public ::testing::WithParamInterface<StallCase> {};

// A client that takes no bytes keeps SendChunked waiting, but only until the host aborts:
// the abort is polled between looks of 10 ms, and the bytes sent so far are reported.
TEST_P(SendChunkedStall, WaitsForTheClientUntilTheHostAborts) {
  const StallCase& c = GetParam();
  fake_sockets::client_stops_reading(c.stall_after, c.resume_ms);
  g_abort_at_ms = c.abort_ms;
  const Bytes data = data_of(kLong);
  EXPECT_EQ(send(data), c.sent);
  EXPECT_EQ(fake_sockets::sent_bytes(), Bytes(data.begin(), data.begin() + c.sent));
  EXPECT_LE(fake_sockets::now_ms(), c.returns_by_ms);
  EXPECT_FALSE(fake_sockets::time_limit_hit());
  for (const fake_sockets::SendCall& call : fake_sockets::send_calls()) {
    EXPECT_LE(call.requested, kSendPieceSize);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SendChunkedStall,
    ::testing::Values(
        // The client reads again: everything goes out, none of it twice.
        StallCase{"ResumesInsideAPiece", 100000, 250, -1, kLong, 250},
        StallCase{"ResumesAtAPieceBoundary", kPiece, 40, -1, kLong, 40},
        StallCase{"ResumesBeforeTheFirstByte", 0, 1000, 5000, kLong, 1000},
        // It never does: the abort ends the wait within one look.
        StallCase{"AbortBeforeTheFirstByte", 0, -1, 300, 0, 310},
        StallCase{"AbortMidway", 100000, -1, 500, 100000, 510},
        StallCase{"AbortBeforeTheLastPiece", 3 * kPiece, -1, 70, 3 * kPiece, 80}),
    [](const ::testing::TestParamInfo<StallCase>& state) { return state.param.name; });

TEST_F(SendChunkedStall, WithoutAnAbortCallbackWaitsUntilTheClientReads) {
  fake_sockets::client_stops_reading(10, 2000);
  const Bytes data = data_of(100);
  EXPECT_EQ(SendChunked(client_, data.data(), 100, nullptr), 100);
  EXPECT_EQ(fake_sockets::now_ms(), 2000);
  EXPECT_EQ(fake_sockets::sent_bytes(), data);
}

TEST_F(SendChunkedStall, AWaitThatMeetsABrokenConnectionEndsAtTheFailedSend) {
  fake_sockets::client_stops_reading(1000);
  fake_sockets::set_time_limit_ms(120);  // the connection breaks at 120 ms
  EXPECT_EQ(send(data_of(5000)), 1000);
  EXPECT_TRUE(fake_sockets::time_limit_hit());
  EXPECT_EQ(fake_sockets::send_calls().back().result, -1);
  EXPECT_GT(g_abort_polls, 0);
}

}  // namespace
}  // namespace quorvel
