// The run with the several-clients setting (ServingLoop) against the scripted sockets
// layer: clients interleaving every request type, each answered as the one-client run
// answers it alone; a client that stops reading beside a busy one; the connection past the
// limit; the abort with clients connected; the host's memory reused under a reply or a
// read-ahead frame; turns and read-ahead between clients.
#include "server/serving_loop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "server/run_server.h"
#include "tests/server/serving_harness.h"
#include "tests/support/reply_model.h"

namespace quorvel::testing {
namespace {

constexpr int32_t kWidth = 16;
constexpr int32_t kHeight = 6;

class SeveralClientsTest : public ServingTest {
 protected:
  void SetUp() override {
    ServingTest::SetUp();
    set_serves_several_clients(&settings_, true);
  }

  int32_t run_loop(const ScriptedHost& host, int client_limit = kMaxClients) {
    return run_server(host.info(), settings_, nullptr, client_limit);
  }

  // The run keeps listening after its clients leave: the host stops it once these have
  // been closed, or the fake's time limit broke the connections.
  static void abort_when_closed(ScriptedHost* host, std::vector<int> clients) {
    host->abort_when([clients] {
      return fake_sockets::time_limit_hit() ||
             std::all_of(clients.begin(), clients.end(),
                         [](int client) { return fake_sockets::closed_at_ms(client) >= 0; });
    });
  }

  // The model's verdict on what the client was sent for the stream it sent.
  std::string judged(int client, const Bytes& stream, const ScriptedHost& host) const {
    return check_replies(fake_sockets::sent_to(client), model_replies(stream.data(), stream.size()),
                         host, settings_, ReplyAllowance());
  }

  // What the one-client run, several-clients setting off, sends for the stream alone.
  Bytes alone(const Bytes& stream) {
    fake_sockets::reset();
    ScriptedHost host(kWidth, kHeight);
    ServerSettings settings = settings_;
    set_serves_several_clients(&settings, false);
    fake_sockets::client_sends(stream);
    EXPECT_EQ(run_server(host.info(), settings, nullptr), 1);
    const Bytes sent = fake_sockets::sent_bytes();
    fake_sockets::reset();
    return sent;
  }

  // Every socket closed once, the sockets library started and cleaned up once.
  static void expect_all_closed() {
    EXPECT_EQ(fake_sockets::open_sockets(), 0);
    EXPECT_EQ(fake_sockets::bad_close_calls(), 0);
    EXPECT_EQ(fake_sockets::startup_calls(), 1);
    EXPECT_EQ(fake_sockets::cleanup_calls(), 1);
    EXPECT_FALSE(fake_sockets::time_limit_hit());
  }
};

// Sends a stream in pieces of `piece` bytes, one every 3 ms from first_ms.
void send_in_pieces(int client, const Bytes& stream, size_t piece, int64_t first_ms) {
  int64_t at_ms = first_ms;
  for (size_t at = 0; at < stream.size(); at += piece, at_ms += 3) {
    const size_t end = std::min(stream.size(), at + piece);
    fake_sockets::sends(client,
                        Bytes(stream.begin() + static_cast<std::ptrdiff_t>(at),
                              stream.begin() + static_cast<std::ptrdiff_t>(end)),
                        at_ms);
  }
}

Bytes oversized_get_frame(int32_t frame_number) {
  Bytes payload(1500, 0xAB);
  const Bytes request = get_frame_request(frame_number);
  std::copy(request.begin() + kHeaderSize, request.end(), payload.begin());
  return message(kGetFrame, payload);
}

// Client i's conversation: every request type, its own codec and frames, and an end of
// its own (Disconnect, a close, or a request too short for its fields).
Bytes conversation(int i) {
  const uint8_t masks[] = {0, kCompressionLzo, kCompressionFano, kCompressionDeflate};
  const int32_t base = 10 * i;
  std::vector<Bytes> requests = {stream_info_request()};
  if (masks[i % 4] != 0) requests.push_back(set_compression_request(masks[i % 4]));
  requests.push_back(get_frame_request(base));
  requests.push_back(get_frame_request(base + 1));
  requests.push_back(get_audio_request(base * 1000, 800, 3200));
  requests.push_back(get_frame_request(base + 2));
  requests.push_back(message(5, {1, 2, 3}));
  requests.push_back(get_frame_request(base + 7));  // a jump
  requests.push_back(get_frame_request(base + 7));  // the same again
  requests.push_back(oversized_get_frame(base + 3));
  requests.push_back(set_compression_request(masks[(i + 1) % 4] | 0x08));
  requests.push_back(get_frame_request(base + 4));
  // An audio reply longer than the session assembles whole: its parts, then zeros.
  if (i == 1) requests.push_back(get_audio_request(0, 300000, 1500000));
  requests.push_back(get_audio_request(base, 10, 0));
  requests.push_back(stream_info_request());
  if (i % 3 == 0) requests.push_back(disconnect_request());
  if (i % 3 == 2) requests.push_back(message(kSetCompression, {0, 0, 0}));
  requests.push_back(get_frame_request(base + 9));  // after a Disconnect: never read
  return concat(requests);
}

class Interleaving : public SeveralClientsTest, public ::testing::WithParamInterface<int> {};

TEST_P(Interleaving, EachClientIsAnsweredAsTheOneClientRunAnswersItAlone) {
  const int clients = GetParam();
  std::vector<Bytes> streams;
  std::vector<Bytes> expected;
  for (int i = 0; i < clients; ++i) {
    streams.push_back(conversation(i));
    expected.push_back(alone(streams.back()));
  }
  ScriptedHost host(kWidth, kHeight);
  host.reuse_buffers(true);
  std::vector<int> all = {0};
  for (int i = 1; i < clients; ++i) all.push_back(fake_sockets::connect_client(i));
  for (int i = 0; i < clients; ++i) {
    send_in_pieces(i, streams[static_cast<size_t>(i)], static_cast<size_t>(3 + i), i);
  }
  abort_when_closed(&host, all);
  EXPECT_EQ(run_loop(host), 1);
  for (int i = 0; i < clients; ++i) {
    SCOPED_TRACE("client " + std::to_string(i));
    EXPECT_EQ(judged(i, streams[static_cast<size_t>(i)], host), "");
    EXPECT_TRUE(fake_sockets::sent_to(i) == expected[static_cast<size_t>(i)]);
  }
  // The replies went out interleaved, not one client after the other.
  int switches = 0;
  const std::vector<fake_sockets::SendCall>& calls = fake_sockets::send_calls();
  for (size_t i = 1; i < calls.size(); ++i) switches += calls[i].socket != calls[i - 1].socket;
  EXPECT_GE(switches, 2 * (clients - 1));
  expect_all_closed();
}

INSTANTIATE_TEST_SUITE_P(Clients, Interleaving, ::testing::Values(1, 2, 3, 4, 5, 8));

TEST_F(SeveralClientsTest, ClientThatStopsReadingDoesNotHoldUpABusyOne) {
  ScriptedHost host(320, 240);  // raw frames of 150 KiB: the stall is inside the first
  const Bytes stalled = concat({get_frame_request(0), get_frame_request(1)});
  fake_sockets::sends(0, stalled);
  fake_sockets::ends(0, fake_sockets::ClientEnd::kGoesSilent);
  fake_sockets::stops_reading(0, 1000);
  const int busy = fake_sockets::connect_client(0);
  std::vector<Bytes> requests;
  for (int32_t n = 100; n < 130; ++n) requests.push_back(get_frame_request(n));
  requests.push_back(disconnect_request());
  const Bytes busy_stream = concat(requests);
  fake_sockets::sends(busy, busy_stream);
  abort_when_closed(&host, {busy});

  EXPECT_EQ(run_loop(host), 1);
  EXPECT_EQ(judged(busy, busy_stream, host), "");
  EXPECT_EQ(sent_frame_numbers(parse_replies(fake_sockets::sent_to(busy))).size(), 30u);
  // Served to the end at once: the fake clock ran only through the loop's waits.
  EXPECT_LT(fake_sockets::closed_at_ms(busy), 100);
  EXPECT_EQ(fake_sockets::sent_to(0).size(), 1000u);
  EXPECT_EQ(fake_sockets::closed_at_ms(0), host.first_abort_ms());
  expect_all_closed();
}

struct LimitCase {
  const char* name;
  int limit;
  int clients;
};

class ClientLimit : public SeveralClientsTest, public ::testing::WithParamInterface<LimitCase> {};

TEST_P(ClientLimit, ConnectionPastTheLimitIsAcceptedAndClosedAtOnce) {
  const LimitCase& c = GetParam();
  ScriptedHost host(kWidth, kHeight);
  host.set_clock(fake_sockets::now_ms);
  std::vector<int> served = {0};
  for (int i = 1; i < c.clients; ++i) served.push_back(fake_sockets::connect_client(5 * i));
  for (int i = 0; i < c.clients; ++i) {
    fake_sockets::sends(i, stream_info_request(), 5 * i);
    fake_sockets::ends(i, fake_sockets::ClientEnd::kGoesSilent);
  }
  const int past = served.back();
  served.pop_back();
  host.abort_when([] { return fake_sockets::now_ms() >= 200; });

  EXPECT_EQ(run_loop(host, c.limit), 1);
  for (int client : served) {
    EXPECT_EQ(parse_replies(fake_sockets::sent_to(client)).size(), 1u) << client;
    EXPECT_EQ(fake_sockets::closed_at_ms(client), host.first_abort_ms()) << client;
  }
  EXPECT_EQ(fake_sockets::accepted_at_ms(past), 5 * past);
  EXPECT_EQ(fake_sockets::closed_at_ms(past), fake_sockets::accepted_at_ms(past));
  EXPECT_EQ(fake_sockets::receives_from(past), 0);
  EXPECT_TRUE(fake_sockets::sent_to(past).empty());
  expect_all_closed();
}

INSTANTIATE_TEST_SUITE_P(Limits, ClientLimit,
                         ::testing::Values(LimitCase{"NinthOfEight", kMaxClients, 9},
                                           LimitCase{"ThirdOfTwo", 2, 3},
                                           LimitCase{"SecondOfOne", 1, 2}),
                         [](const ::testing::TestParamInfo<LimitCase>& limit) {
                           return limit.param.name;
                         });

TEST_F(SeveralClientsTest, AFreedPlaceTakesTheNextClientAndTheRunListensOn) {
  ScriptedHost host(kWidth, kHeight);
  const Bytes first = concat({stream_info_request(), disconnect_request()});
  fake_sockets::sends(0, first);
  const int refused = fake_sockets::connect_client(0);  // while the one place is taken
  fake_sockets::sends(refused, stream_info_request());
  const int later = fake_sockets::connect_client(500);  // long after the first left
  const Bytes second = concat({get_frame_request(3), get_frame_request(4), stream_info_request()});
  fake_sockets::sends(later, second, 500);
  abort_when_closed(&host, {0, refused, later});

  EXPECT_EQ(run_loop(host, 1), 1);
  EXPECT_EQ(judged(0, first, host), "");
  EXPECT_TRUE(fake_sockets::sent_to(refused).empty());
  EXPECT_EQ(judged(later, second, host), "");
  EXPECT_EQ(fake_sockets::accept_calls(), 3);
  expect_all_closed();
}

// A client at the limit leaves while another connects: its Disconnect, read in the same
// turn, is answered before the connection is accepted, so the newcomer gets the place.
TEST_F(SeveralClientsTest, DisconnectInTheSameTurnFreesThePlaceForTheClientConnecting) {
  ScriptedHost host(kWidth, kHeight);
  fake_sockets::sends(0, stream_info_request());
  fake_sockets::sends(0, disconnect_request(), 100);
  const int newcomer = fake_sockets::connect_client(100);
  const Bytes stream = concat({stream_info_request(), get_frame_request(2)});
  fake_sockets::sends(newcomer, stream, 100);
  abort_when_closed(&host, {0, newcomer});

  EXPECT_EQ(run_loop(host, 1), 1);
  EXPECT_EQ(fake_sockets::closed_at_ms(0), 100);
  EXPECT_EQ(fake_sockets::accepted_at_ms(newcomer), 100);
  EXPECT_EQ(judged(newcomer, stream, host), "");
  EXPECT_EQ(parse_replies(fake_sockets::sent_to(newcomer)).size(), 2u);
  expect_all_closed();
}

TEST_F(SeveralClientsTest, AbortClosesEveryClientThenTheListener) {
  ScriptedHost host(320, 240);
  host.set_clock(fake_sockets::now_ms);
  // One client waits in the middle of a request, one has stopped reading in the middle of a
  // reply, one is between requests.
  const Bytes request = get_frame_request(5);
  fake_sockets::sends(0, Bytes(request.begin(), request.begin() + 6));
  fake_sockets::ends(0, fake_sockets::ClientEnd::kGoesSilent);
  const int stalled = fake_sockets::connect_client(0);
  fake_sockets::sends(stalled, get_frame_request(0));
  fake_sockets::ends(stalled, fake_sockets::ClientEnd::kGoesSilent);
  fake_sockets::stops_reading(stalled, 5000);
  const int idle = fake_sockets::connect_client(0);
  fake_sockets::sends(idle, stream_info_request());
  fake_sockets::ends(idle, fake_sockets::ClientEnd::kGoesSilent);
  constexpr int64_t kAbortAtMs = 300;
  host.abort_when([] { return fake_sockets::now_ms() >= kAbortAtMs; });

  EXPECT_EQ(run_loop(host), 1);
  ASSERT_GE(host.first_abort_ms(), kAbortAtMs);
  EXPECT_LE(host.first_abort_ms() - kAbortAtMs, 10);
  for (int client : {0, stalled, idle}) {
    EXPECT_EQ(fake_sockets::closed_at_ms(client), host.first_abort_ms()) << client;
  }
  EXPECT_EQ(fake_sockets::sent_to(stalled).size(), 5000u);
  // The abort is polled at least every 100 ms throughout, here every 10 ms wait.
  int64_t last_poll = 0;
  for (const HostCall& call : host.calls()) {
    if (call.kind != HostCallKind::kIsAborted) continue;
    EXPECT_LE(call.time_ms - last_poll, 10);
    last_poll = call.time_ms;
  }
  EXPECT_EQ(fake_sockets::now_ms(), host.first_abort_ms());
  expect_all_closed();
}

// ---- The host's memory: valid until its next fetch ---------------------------------------

struct HostMemoryCase {
  const char* name;
  std::vector<Bytes> first;  // client 0's requests, all at time 0
  size_t first_stops_reading_after;
  std::vector<Bytes> second;  // client 1's, at time 50, while client 0 still holds bytes
};

class HostMemoryReuse : public SeveralClientsTest,
                        public ::testing::WithParamInterface<HostMemoryCase> {};

// A host that overwrites its one frame buffer and one audio buffer at every fetch: what one
// client still has to send from an earlier fetch must have been copied before the other's.
TEST_P(HostMemoryReuse, ReusedByAnotherClientsFetchLeavesEveryReplyIntact) {
  const HostMemoryCase& c = GetParam();
  ScriptedHost host(kWidth, kHeight);
  host.reuse_buffers(true);
  const Bytes first = concat(c.first);
  fake_sockets::sends(0, first);
  fake_sockets::sends(0, get_frame_request(1), 100);
  fake_sockets::sends(0, disconnect_request(), 100);
  if (c.first_stops_reading_after > 0)
    fake_sockets::stops_reading(0, c.first_stops_reading_after, 200);
  const int other = fake_sockets::connect_client(50);
  const Bytes second = concat(c.second);
  fake_sockets::sends(other, second, 50);
  abort_when_closed(&host, {0, other});

  EXPECT_EQ(run_loop(host), 1);
  EXPECT_EQ(judged(0, concat({first, get_frame_request(1), disconnect_request()}), host), "");
  EXPECT_EQ(judged(other, second, host), "");
  // A raw read-ahead frame is copied, not dropped: frame 1 is fetched once, ahead.
  const std::vector<int32_t> fetched = host.fetched_frames();
  EXPECT_EQ(std::count(fetched.begin(), fetched.end(), 1), 1);
  expect_all_closed();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HostMemoryReuse,
    ::testing::Values(
        HostMemoryCase{"RawReadAheadFrame", {get_frame_request(0)}, 0, {get_frame_request(40)}},
        HostMemoryCase{"RawReadAheadFrameBesideAudio",
                       {get_frame_request(0)},
                       0,
                       {get_audio_request(0, 100, 400), get_frame_request(40)}},
        HostMemoryCase{"RawReplyStillGoingOut",
                       {get_frame_request(0)},
                       100,
                       {get_frame_request(40), get_frame_request(41)}},
        HostMemoryCase{"LongAudioReplyStillGoingOut",
                       {get_audio_request(0, 300000, 1500000), get_frame_request(0)},
                       1000,
                       {get_audio_request(5000, 300, 1200), get_frame_request(40)}}),
    [](const ::testing::TestParamInfo<HostMemoryCase>& memory) { return memory.param.name; });

// ---- Turns -------------------------------------------------------------------------------

TEST_F(SeveralClientsTest, ClientsAreAnsweredInTurn) {
  ScriptedHost host(kWidth, kHeight);
  std::vector<Bytes> first;
  std::vector<Bytes> second;
  for (int32_t n = 0; n < 20; ++n) {
    first.push_back(get_frame_request(n));
    second.push_back(get_frame_request(100 + n));
  }
  first.push_back(disconnect_request());
  second.push_back(disconnect_request());
  fake_sockets::sends(0, concat(first));
  const int other = fake_sockets::connect_client(0);
  fake_sockets::sends(other, concat(second));
  abort_when_closed(&host, {0, other});

  EXPECT_EQ(run_loop(host), 1);
  // Each turn answers one request of each client with a request waiting.
  std::vector<bool> of_first;
  for (const HostCall& call : host.calls()) {
    if (call.kind == HostCallKind::kShowProgress) of_first.push_back(call.first < 100);
  }
  ASSERT_EQ(of_first.size(), 40u);
  for (size_t i = 0; i + 1 < of_first.size(); ++i) {
    EXPECT_NE(of_first[i], of_first[i + 1]) << "requests " << i << " and " << i + 1;
  }
}

TEST_F(SeveralClientsTest, ReadAheadWaitsWhileAnotherClientHasARequest) {
  ScriptedHost host(kWidth, kHeight);
  // The first client asks for one frame, then for the next long after; meanwhile the other
  // keeps a request waiting until its Disconnect.
  fake_sockets::sends(0, get_frame_request(0));
  fake_sockets::sends(0, concat({get_frame_request(1), disconnect_request()}), 100);
  const int other = fake_sockets::connect_client(0);
  std::vector<Bytes> requests;
  for (int32_t n = 10; n < 15; ++n) requests.push_back(get_frame_request(n));
  requests.push_back(disconnect_request());
  fake_sockets::sends(other, concat(requests));
  abort_when_closed(&host, {0, other});

  EXPECT_EQ(run_loop(host), 1);
  const std::vector<int32_t> fetched = host.fetched_frames();
  // The other client's own read-ahead goes on (its next request is its own); the first
  // client's frame 1 is read ahead only once the other has no request waiting, and then
  // found ready: no frame is fetched twice.
  EXPECT_EQ(fetched, (std::vector<int32_t>{0, 10, 11, 12, 13, 14, 15, 1, 2}));
}

}  // namespace
}  // namespace quorvel::testing
