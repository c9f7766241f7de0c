// Fault injection on a running session: the client closes at every byte boundary of every
// request, sends fail at every call of a conversation, the client stops taking replies at
// every byte of one, the host aborts in each serving state or hands back null. Every run
// must end with 1, close everything once and (checked by LeakSanitizer at exit) release
// every encoded frame, with each codec.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/server/serving_harness.h"

namespace quorvel::testing {
namespace {

constexpr int32_t kWidth = 16;
constexpr int32_t kHeight = 6;

// The compression masks to run each fault under: none, then each codec.
const uint8_t kEveryCodecMask[] = {0, kCompressionLzo, kCompressionFano, kCompressionDeflate};

// A conversation that leaves an encoded frame prefetched by the codec the mask selects.
std::vector<Bytes> preamble(uint8_t mask) {
  if (mask == 0) return {get_frame_request(0)};
  return {set_compression_request(mask), get_frame_request(0)};
}

struct RequestKind {
  const char* name;
  Bytes request;
};

std::vector<RequestKind> every_request_kind() {
  Bytes oversized = message(kGetFrame, Bytes(1100, 0));
  oversized[kHeaderSize] = 1;
  return {{"GetStreamInfo", stream_info_request()},
          {"GetFrame", get_frame_request(1)},
          {"GetFrameOtherThanPrefetched", get_frame_request(9)},
          {"GetAudio", get_audio_request(0, 100, 400)},
          {"SetCompressionNone", set_compression_request(0)},
          {"SetCompressionLzo", set_compression_request(1)},
          {"SetCompressionDeflate", set_compression_request(4)},
          {"Disconnect", disconnect_request()},
          {"UnknownWithPayload", message(5, {1, 2, 3})},
          {"OversizedGetFrame", oversized}};
}

// ---- The client closes or fails in the middle of a request -------------------------------

struct CloseCase {
  uint8_t mask;
  fake_sockets::ClientEnd end;
};

class ClientEndsMidRequest : public ServingTest, public ::testing::WithParamInterface<CloseCase> {};

TEST_P(ClientEndsMidRequest, AtEveryByteBoundaryEndsTheRunWithOne) {
  const std::vector<Bytes> before = preamble(GetParam().mask);
  for (const RequestKind& kind : every_request_kind()) {
    for (size_t cut = 0; cut < kind.request.size(); ++cut) {
      SCOPED_TRACE(std::string(kind.name) + " cut after " + std::to_string(cut) + " bytes");
      fake_sockets::reset();
      fake_sockets::set_client_end(GetParam().end);
      ScriptedHost host(kWidth, kHeight);
      client_sends(before);
      fake_sockets::client_sends(
          Bytes(kind.request.begin(), kind.request.begin() + static_cast<std::ptrdiff_t>(cut)));
      EXPECT_EQ(run(host), 1);
      expect_ended_cleanly();
      // The preamble is answered; the cut request is not.
      EXPECT_EQ(replies().size(), before.size());
      EXPECT_EQ(fake_sockets::unreceived_bytes(), 0u);
      if (::testing::Test::HasFailure()) return;
    }
  }
}

std::vector<CloseCase> close_cases() {
  std::vector<CloseCase> cases;
  for (uint8_t mask : kEveryCodecMask) {
    cases.push_back({mask, fake_sockets::ClientEnd::kCloses});
    cases.push_back({mask, fake_sockets::ClientEnd::kFails});
  }
  return cases;
}

std::string close_case_name(const ::testing::TestParamInfo<CloseCase>& info_) {
  return "Mask" + std::to_string(info_.param.mask) +
         (info_.param.end == fake_sockets::ClientEnd::kCloses ? "Closes" : "Fails");
}

INSTANTIATE_TEST_SUITE_P(Codecs, ClientEndsMidRequest, ::testing::ValuesIn(close_cases()),
                         close_case_name);

TEST_F(ServingTest, ClientClosingMidPayloadEndsTheRunWithOne) {
  ScriptedHost host(kWidth, kHeight);
  const Bytes request = get_audio_request(0, 10, 40);
  fake_sockets::client_sends(Bytes(request.begin(), request.begin() + 12));
  EXPECT_EQ(run(host), 1);
  EXPECT_TRUE(fake_sockets::sent_bytes().empty());
  EXPECT_EQ(host.count(HostCallKind::kGetAudio), 0);
  expect_ended_cleanly();
}

// ---- Sends fail ----------------------------------------------------------------------------

struct SendFailureCase {
  const char* name;
  uint8_t mask;
  std::vector<Bytes> requests;
};

class SendFails : public ServingTest, public ::testing::WithParamInterface<SendFailureCase> {};

// A dry run counts the conversation's send() calls; then each call in turn fails (with that
// and every later one). The run must end with 1 having sent exactly what the dry run sent
// before that call, and must ask no more of the sockets than the one next failure.
TEST_P(SendFails, AtEveryCallEndsTheRunWithOne) {
  const SendFailureCase& c = GetParam();
  std::vector<Bytes> requests;
  if (c.mask != 0) requests.push_back(set_compression_request(c.mask));
  requests.insert(requests.end(), c.requests.begin(), c.requests.end());

  std::vector<fake_sockets::SendCall> dry_calls;
  Bytes dry_bytes;
  {
    ScriptedHost host(250, 400);
    client_sends(requests);
    ASSERT_EQ(run(host), 1);
    dry_calls = fake_sockets::send_calls();
    dry_bytes = fake_sockets::sent_bytes();
  }
  ASSERT_FALSE(dry_calls.empty());
  for (int result : {-1, 0}) {
    for (size_t failing = 1; failing <= dry_calls.size(); ++failing) {
      SCOPED_TRACE("send call " + std::to_string(failing) + " of " +
                   std::to_string(dry_calls.size()) + " returns " + std::to_string(result));
      fake_sockets::reset();
      fake_sockets::fail_send_from_call(static_cast<int>(failing), result);
      ScriptedHost host(250, 400);
      client_sends(requests);
      EXPECT_EQ(run(host), 1);
      expect_ended_cleanly();
      size_t bytes_before = 0;
      for (size_t i = 0; i + 1 < failing; ++i)
        bytes_before += static_cast<size_t>(dry_calls[i].result);
      EXPECT_EQ(
          fake_sockets::sent_bytes(),
          Bytes(dry_bytes.begin(), dry_bytes.begin() + static_cast<std::ptrdiff_t>(bytes_before)));
      // The failed send is the last one, or is followed by just the next part's attempt.
      EXPECT_LE(fake_sockets::send_calls().size(), failing + 1);
      if (::testing::Test::HasFailure()) return;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Conversations, SendFails,
    ::testing::Values(
        SendFailureCase{"StreamInfo", 0, {stream_info_request(), stream_info_request()}},
        // 200,000 raw bytes: header, record and the frame; each of them fails.
        SendFailureCase{"LargeRawFrame", 0, {get_frame_request(0), get_frame_request(1)}},
        SendFailureCase{"LargeAudioWithZeroTail",
                        0,
                        {get_audio_request(0, 30000, 200000), stream_info_request()}},
        SendFailureCase{"Ack", 0, {set_compression_request(0), stream_info_request()}},
        SendFailureCase{"LzoFrames", 1, {get_frame_request(0), get_frame_request(1)}},
        SendFailureCase{"FanoFrames", 2, {get_frame_request(0), get_frame_request(1)}},
        SendFailureCase{"DeflateFrames", 4, {get_frame_request(0), get_frame_request(1)}}),
    [](const ::testing::TestParamInfo<SendFailureCase>& conversation) {
      return conversation.param.name;
    });

TEST_F(ServingTest, FailedFrameHeaderSkipsTheReadAhead) {
  ScriptedHost host(kWidth, kHeight);
  fake_sockets::fail_send_from_call(1);
  client_sends({get_frame_request(3)});
  EXPECT_EQ(run(host), 1);
  EXPECT_EQ(host.fetched_frames(), (std::vector<int32_t>{3}));
  expect_ended_cleanly();
}

TEST_F(ServingTest, AudioHeaderThatGoesOutOnlyInPartEndsTheRun) {
  ScriptedHost host(kWidth, kHeight);
  // The reply's first send, of all its 5 + 32 + 40 bytes, must take the whole header.
  fake_sockets::set_send_limit(3);
  client_sends({get_audio_request(0, 10, 40), stream_info_request()});
  EXPECT_EQ(run(host), 1);
  EXPECT_EQ(fake_sockets::send_sizes(), (std::vector<int>{77}));
  expect_ended_cleanly();
}

// ---- The host aborts -------------------------------------------------------------------

struct AbortCase {
  const char* name;
  uint8_t mask;
  std::vector<Bytes> requests;  // then the client goes silent
  int get_frames_before_abort;  // the abort turns on at this get_frame call; 0: at time 500
};

class AbortWhileServing : public ServingTest, public ::testing::WithParamInterface<AbortCase> {};

// The abort must be seen within 30 ms of fake time while serving; after it the host is asked
// for nothing more, and no request is handled.
TEST_P(AbortWhileServing, EndsTheRunWithin30Ms) {
  const AbortCase& c = GetParam();
  ScriptedHost host(kWidth, kHeight);
  host.set_clock(fake_sockets::now_ms);
  fake_sockets::set_client_end(fake_sockets::ClientEnd::kGoesSilent);
  if (c.mask != 0) client_sends({set_compression_request(c.mask)});
  client_sends(c.requests);
  int64_t abort_on_ms = -1;
  constexpr int64_t kAbortAtMs = 500;
  host.abort_when([&] {
    if (c.get_frames_before_abort == 0) return fake_sockets::now_ms() >= kAbortAtMs;
    return host.count(HostCallKind::kGetFrame) >= c.get_frames_before_abort;
  });
  EXPECT_EQ(run(host), 1);
  expect_ended_cleanly();

  if (c.get_frames_before_abort == 0) {
    abort_on_ms = kAbortAtMs;
  } else {
    int seen = 0;
    for (const HostCall& call : host.calls()) {
      if (call.kind == HostCallKind::kGetFrame && ++seen == c.get_frames_before_abort) {
        abort_on_ms = call.time_ms;
      }
    }
  }
  ASSERT_GE(host.first_abort_ms(), 0) << "the abort was never seen";
  EXPECT_LE(host.first_abort_ms() - abort_on_ms, 30);
  EXPECT_EQ(fake_sockets::now_ms(), host.first_abort_ms());
  EXPECT_EQ(host.calls().back().kind, HostCallKind::kIsAborted);
}

INSTANTIATE_TEST_SUITE_P(
    States, AbortWhileServing,
    ::testing::Values(AbortCase{"BeforeAnyRequest", 0, {}, 0},
                      AbortCase{"BetweenRequests", 0, {stream_info_request()}, 0},
                      AbortCase{"InTheMiddleOfARequest", 0, {Bytes{9, 0, 0}}, 0},
                      AbortCase{"AfterARawReadAhead", 0, {get_frame_request(0)}, 2},
                      AbortCase{"AfterAnLzoReadAhead", 1, {get_frame_request(0)}, 2},
                      AbortCase{"AfterAFanoReadAhead", 2, {get_frame_request(0)}, 2},
                      AbortCase{"AfterADeflateReadAhead", 4, {get_frame_request(0)}, 2}),
    [](const ::testing::TestParamInfo<AbortCase>& state) { return state.param.name; });

TEST_F(ServingTest, AbortIsNotPolledWhileARequestIsHandled) {
  ScriptedHost host(kWidth, kHeight);
  client_sends({get_frame_request(0), get_frame_request(1)});
  run(host);
  // The calls with each run of is_aborted polls folded into one "abort?": none comes
  // between a request's show_progress and the end of its read-ahead.
  std::vector<std::string> folded;
  const std::vector<std::string> others = host.trace();
  size_t next_other = 0;
  for (const HostCall& call : host.calls()) {
    if (call.kind != HostCallKind::kIsAborted) {
      folded.push_back(others[next_other++]);
    } else if (folded.empty() || folded.back() != "abort?") {
      folded.push_back("abort?");
    }
  }
  EXPECT_EQ(folded, (std::vector<std::string>{"abort?", "show_progress 0/100", "get_frame 0",
                                              "notify_frame", "get_frame 1", "notify_frame",
                                              "abort?", "show_progress 1/100", "get_frame 2",
                                              "notify_frame", "abort?"}));
}

// ---- The client stops taking replies ------------------------------------------------------

struct StallCase {
  const char* name;
  uint8_t mask;
  Bytes request;
  // An AudioReply's header goes out in one send: cut, it ends the run at once, no wait.
  bool header_in_one_send = false;
};

class ClientStopsReading : public ServingTest, public ::testing::WithParamInterface<StallCase> {
 protected:
  std::vector<Bytes> requests() const {
    if (GetParam().mask == 0) return {GetParam().request};
    return {set_compression_request(GetParam().mask), GetParam().request};
  }
};

// Whatever byte of a reply the client stops reading at, the server waits for it only until
// the host aborts: the run ends with 1 within 30 ms of the abort, having sent only the bytes
// before the stall, and releases any encoded frame. (A stall inside a header that goes out in
// one send ends the run at once instead.)
TEST_P(ClientStopsReading, AtEveryByteOfAReplyEndsTheRunAtTheAbort) {
  // A run with a client that reads everything gives the reply's extent.
  const size_t reply_start = GetParam().mask != 0 ? kHeaderSize : 0;  // after the CompressionAck
  size_t reply_end = 0;
  {
    ScriptedHost host(kWidth, kHeight);
    client_sends(requests());
    ASSERT_EQ(run(host), 1);
    reply_end = fake_sockets::sent_bytes().size();
  }
  ASSERT_GT(reply_end, reply_start);

  constexpr int64_t kAbortAtMs = 500;
  for (size_t stall = reply_start; stall < reply_end; ++stall) {
    SCOPED_TRACE("the client stops after byte " + std::to_string(stall));
    fake_sockets::reset();
    ScriptedHost host(kWidth, kHeight);
    host.set_clock(fake_sockets::now_ms);
    host.abort_when([] { return fake_sockets::now_ms() >= kAbortAtMs; });
    fake_sockets::set_client_end(fake_sockets::ClientEnd::kGoesSilent);
    fake_sockets::client_stops_reading(stall);
    client_sends(requests());
    EXPECT_EQ(run(host), 1);
    expect_ended_cleanly();
    EXPECT_EQ(fake_sockets::sent_bytes().size(), stall);
    const bool header_cut =
        GetParam().header_in_one_send && stall > reply_start && stall < reply_start + kHeaderSize;
    if (header_cut) {
      EXPECT_EQ(host.first_abort_ms(), -1);
      EXPECT_EQ(fake_sockets::now_ms(), 0);
    } else {
      EXPECT_GE(host.first_abort_ms(), kAbortAtMs);
      EXPECT_LE(host.first_abort_ms(), kAbortAtMs + 30);
      // Once the host has said stop, it is not asked for anything else (no read-ahead).
      const std::vector<HostCall>& calls = host.calls();
      const auto is_abort_poll = [](const HostCall& call) {
        return call.kind == HostCallKind::kIsAborted;
      };
      const auto stop = std::find_if(calls.begin(), calls.end(), [&](const HostCall& call) {
        return is_abort_poll(call) && call.time_ms == host.first_abort_ms();
      });
      EXPECT_TRUE(std::all_of(stop, calls.end(), is_abort_poll));
    }
    if (::testing::Test::HasFailure()) return;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Replies, ClientStopsReading,
    ::testing::Values(StallCase{"StreamInfo", 0, stream_info_request()},
                      StallCase{"RawFrame", 0, get_frame_request(3)},
                      StallCase{"LzoFrame", 1, get_frame_request(3)},
                      StallCase{"FanoFrame", 2, get_frame_request(3)},
                      StallCase{"DeflateFrame", 4, get_frame_request(3)},
                      StallCase{"Audio", 0, get_audio_request(0, 100, 400), true},
                      StallCase{"AudioWithAZeroTail", 0, get_audio_request(0, 10, 2000), true}),
    [](const ::testing::TestParamInfo<StallCase>& state) { return state.param.name; });

// ---- The host hands back null ------------------------------------------------------------

class NullFrame : public ServingTest, public ::testing::WithParamInterface<uint8_t> {};

TEST_P(NullFrame, ForTheRequestedFrameEndsTheRunWithoutAReply) {
  ScriptedHost host(kWidth, kHeight);
  host.return_null_frame(5);
  client_sends(preamble(GetParam()));
  client_sends({get_frame_request(5), stream_info_request()});
  EXPECT_EQ(run(host), 1);
  EXPECT_EQ(replies().size(), preamble(GetParam()).size());
  EXPECT_EQ(fake_sockets::unreceived_bytes(), stream_info_request().size());
  expect_ended_cleanly();
}

TEST_P(NullFrame, ForTheReadAheadLeavesNothingPrefetched) {
  ScriptedHost host(kWidth, kHeight);
  host.return_null_frame(1);
  client_sends(preamble(GetParam()));  // asks for 0: the read-ahead of 1 gets null
  client_sends({stream_info_request(), get_frame_request(1)});
  EXPECT_EQ(run(host), 1);
  // The run goes on; the request for 1 asks the host again and ends the run on null.
  EXPECT_EQ(host.fetched_frames(), (std::vector<int32_t>{0, 1, 1}));
  EXPECT_EQ(replies().size(), preamble(GetParam()).size() + 1);
  expect_ended_cleanly();
}

INSTANTIATE_TEST_SUITE_P(Codecs, NullFrame, ::testing::Values(0, 1, 2, 4));

}  // namespace
}  // namespace quorvel::testing
