// run_server from start-up to the accepted client: results of failing start-up steps, the
// port and backlog, the waiting loop's abort polling, one client per run.
#include "server/run_server.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/server/serving_harness.h"

namespace quorvel::testing {
namespace {

using fake_sockets::StartupFault;

struct StartupCase {
  const char* name;
  StartupFault fault;
  int32_t result;
  bool cleaned_up;  // the sockets library was started, so it must be cleaned up
};

class StartupFailure : public ServingTest, public ::testing::WithParamInterface<StartupCase> {};

TEST_P(StartupFailure, GivesItsResultAndClosesWhatWasOpened) {
  ScriptedHost host(4, 2);
  fake_sockets::fail_startup_step(GetParam().fault);
  EXPECT_EQ(run(host), GetParam().result);
  EXPECT_EQ(fake_sockets::startup_calls(), 1);
  EXPECT_EQ(fake_sockets::cleanup_calls(), GetParam().cleaned_up ? 1 : 0);
  EXPECT_EQ(fake_sockets::open_sockets(), 0);
  EXPECT_EQ(fake_sockets::bad_close_calls(), 0);
  EXPECT_EQ(fake_sockets::receive_calls(), 0);
  EXPECT_TRUE(fake_sockets::sent_bytes().empty());
  EXPECT_EQ(host.count(HostCallKind::kGetFrame), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, StartupFailure,
    ::testing::Values(StartupCase{"SocketsLibrary", StartupFault::kStartup, 0, false},
                      StartupCase{"SocketCreation", StartupFault::kOpenSocket, 0, true},
                      StartupCase{"LocalhostLookup", StartupFault::kLookupLocalhost, 1, true},
                      StartupCase{"Bind", StartupFault::kBind, 1, true},
                      StartupCase{"Listen", StartupFault::kListen, 1, true},
                      StartupCase{"Accept", StartupFault::kAccept, 1, true}),
    [](const ::testing::TestParamInfo<StartupCase>& step) { return step.param.name; });

TEST_F(ServingTest, StartupFailureBeforeListeningNeverAsksTheHostAboutAbort) {
  ScriptedHost host(4, 2);
  fake_sockets::fail_startup_step(StartupFault::kListen);
  run(host);
  EXPECT_EQ(host.count(HostCallKind::kIsAborted), 0);
}

TEST_F(ServingTest, AcceptFailureHappensAfterTheListenerTurnedReadable) {
  ScriptedHost host(4, 2);
  fake_sockets::fail_startup_step(StartupFault::kAccept);
  EXPECT_EQ(run(host), 1);
  EXPECT_EQ(fake_sockets::accept_calls(), 1);
}

void record_port(void* context, const ListenEndpoint& endpoint) {
  *static_cast<int*>(context) = endpoint.port;
}

TEST_F(ServingTest, ListensOnTheResolvedPortWithBacklogFive) {
  ScriptedHost host(4, 2);
  std::snprintf(settings_.port_text, sizeof settings_.port_text, "70000");
  int told_port = -1;
  const ListenObserver observer{record_port, &told_port};
  EXPECT_EQ(run_server(host.info(), settings_, &observer), 1);
  EXPECT_EQ(fake_sockets::bound_port(), 4464);
  EXPECT_EQ(fake_sockets::listen_backlog(), 5);
  EXPECT_EQ(told_port, 4464);
}

struct ListenRecord {
  ListenEndpoint told{0, 0};
  std::string failure = "(not told)";
};

const ListenObserver kRecordingObserver{[](void* context, const ListenEndpoint& endpoint) {
                                          static_cast<ListenRecord*>(context)->told = endpoint;
                                        },
                                        nullptr,
                                        [](void* context, const char* reason) {
                                          static_cast<ListenRecord*>(context)->failure = reason;
                                        }};

TEST_F(ServingTest, AddressBeforeTheColonIsWhereTheRunListens) {
  ScriptedHost host(4, 2);
  fake_sockets::add_host("frames-pc", 0xc0a80114);
  std::snprintf(settings_.port_text, sizeof settings_.port_text, "frames-pc:22051");
  ListenRecord record;
  ListenObserver observer = kRecordingObserver;
  observer.context = &record;
  EXPECT_EQ(run_server(host.info(), settings_, &observer), 1);
  EXPECT_EQ(fake_sockets::bound_address(), 0xc0a80114u);
  EXPECT_EQ(record.told.ipv4, 0xc0a80114u);
  EXPECT_EQ(record.told.port, 22051);
  EXPECT_EQ(record.failure, "(not told)");
}

// As a failed bind: the run ends at start-up with 1, and the observer hears why.
TEST_F(ServingTest, AddressThatNamesNoHostEndsTheRunBeforeAnyBind) {
  ScriptedHost host(4, 2);
  std::snprintf(settings_.port_text, sizeof settings_.port_text, "no-such-pc:22050");
  ListenRecord record;
  ListenObserver observer = kRecordingObserver;
  observer.context = &record;
  EXPECT_EQ(run_server(host.info(), settings_, &observer), 1);
  EXPECT_EQ(fake_sockets::last_host_lookup(), "no-such-pc");
  EXPECT_EQ(fake_sockets::bound_port(), -1);
  EXPECT_EQ(record.failure, fake_sockets::kFailureText);
  EXPECT_EQ(record.told.port, 0);
  EXPECT_EQ(host.count(HostCallKind::kIsAborted), 0);
  expect_ended_cleanly();
}

TEST_F(ServingTest, DefaultSettingsListenOn22050) {
  ScriptedHost host(4, 2);
  EXPECT_EQ(run(host), 1);
  EXPECT_EQ(fake_sockets::bound_port(), 22050);
  EXPECT_EQ(fake_sockets::bound_address(), kEveryInterface);
}

TEST_F(ServingTest, PortZeroTellsTheObserverThePortTheSystemChose) {
  ScriptedHost host(4, 2);
  std::snprintf(settings_.port_text, sizeof settings_.port_text, "abc");
  int told_port = -1;
  const ListenObserver observer{record_port, &told_port};
  run_server(host.info(), settings_, &observer);
  EXPECT_EQ(fake_sockets::bound_port(), 0);
  EXPECT_EQ(told_port, fake_sockets::kChosenPort);
}

TEST_F(ServingTest, AbortWhileWaitingReturnsOneWithoutAccepting) {
  ScriptedHost host(4, 2);
  host.set_clock(fake_sockets::now_ms);
  fake_sockets::client_connects_at_ms(-1);
  constexpr int64_t kAbortAtMs = 250;
  host.abort_when([] { return fake_sockets::now_ms() >= kAbortAtMs; });
  EXPECT_EQ(run(host), 1);
  EXPECT_EQ(fake_sockets::accept_calls(), 0);
  EXPECT_EQ(fake_sockets::receive_calls(), 0);
  // The abort shows within 150 ms of fake time, and the run ends there.
  EXPECT_LE(host.first_abort_ms() - kAbortAtMs, 150);
  EXPECT_EQ(fake_sockets::now_ms(), host.first_abort_ms());
  expect_ended_cleanly();
}

TEST_F(ServingTest, AbortAtTheFirstLookReturnsOneWithoutAccepting) {
  ScriptedHost host(4, 2);
  host.abort_after_calls(0);
  EXPECT_EQ(run(host), 1);
  EXPECT_EQ(fake_sockets::accept_calls(), 0);
  expect_ended_cleanly();
}

TEST_F(ServingTest, WaitingPollsAbortAbout10TimesASecondWithoutSpinning) {
  ScriptedHost host(4, 2);
  host.set_clock(fake_sockets::now_ms);
  fake_sockets::client_connects_at_ms(1000);
  EXPECT_EQ(run(host), 1);
  std::vector<int64_t> polls;
  for (const HostCall& call : host.calls()) {
    if (call.kind == HostCallKind::kIsAborted && call.time_ms < 1000) polls.push_back(call.time_ms);
  }
  ASSERT_GE(polls.size(), 5u);
  for (size_t i = 1; i < polls.size(); ++i) {
    EXPECT_GT(polls[i] - polls[i - 1], 0) << "the waiting loop must sleep between looks";
    EXPECT_LE(polls[i] - polls[i - 1], 150) << "abort must be seen within 150 ms";
  }
  EXPECT_EQ(fake_sockets::accept_calls(), 1);
}

TEST_F(ServingTest, ListenerIsClosedAsSoonAsTheClientIsAccepted) {
  ScriptedHost host(4, 2);
  client_sends({stream_info_request()});
  EXPECT_EQ(run(host), 1);
  EXPECT_TRUE(fake_sockets::listener_closed_before_first_receive());
  expect_ended_cleanly();
}

TEST_F(ServingTest, ClientThatDisconnectsAtOnceEndsTheRunWithOne) {
  ScriptedHost host(4, 2);
  fake_sockets::set_client_end(fake_sockets::ClientEnd::kGoesSilent);
  client_sends({disconnect_request()});
  EXPECT_EQ(run(host), 1);
  EXPECT_TRUE(fake_sockets::sent_bytes().empty());
  EXPECT_EQ(fake_sockets::accept_calls(), 1);
  expect_ended_cleanly();
}

}  // namespace
}  // namespace quorvel::testing
