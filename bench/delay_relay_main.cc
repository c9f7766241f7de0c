// quorvel-delay-relay: a TCP relay on 127.0.0.1 that adds a fixed delay each way, the round
// trip of a real network between a client and a server on one machine.
//
//   quorvel-delay-relay --connect-port PORT [--delay-ms 0.5]
//
// It listens on a port the system picks (told as "listening on port N" on stderr), and for
// each client in turn connects to 127.0.0.1:PORT and forwards both ways, every byte released
// no earlier than its arrival + the delay. It waits in ppoll until the next release time or
// until a socket is ready, so a quiet connection costs no CPU. It runs until it is killed.
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>

#include "bench/bare_socket.h"
#include "bench/delayed_pipe.h"
#include "client/client_socket.h"

namespace quorvel::bench {

namespace {

using Clock = DelayedPipe::Clock;

bool make_non_blocking(int fd) {
  const int flags = fcntl(fd, F_GETFL);
  return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

// The poll entry of a socket that is one pipe's source and the other's destination; a
// socket with nothing to wait for is left out, so a hang-up it reports cannot spin the loop.
pollfd poll_entry(int fd, const DelayedPipe& from, const DelayedPipe& to) {
  const short events =
      static_cast<short>((from.wants_input() ? POLLIN : 0) | (to.waits_for_room() ? POLLOUT : 0));
  return {events != 0 ? fd : -1, events, 0};
}

// How long ppoll may sleep: until the earliest chunk that, at the last write attempt, waited
// only for its time is due (at once when that time has passed since); nullptr (no limit)
// when none did.
const timespec* sleep_limit(const DelayedPipe& a, const DelayedPipe& b,
                            Clock::time_point last_attempt, timespec* limit) {
  Clock::time_point due = Clock::time_point::max();
  if (a.waits_for_time(last_attempt)) due = a.next_release();
  if (b.waits_for_time(last_attempt) && b.next_release() < due) due = b.next_release();
  if (due == Clock::time_point::max()) return nullptr;
  const auto wait = std::max<int64_t>(
      0, std::chrono::duration_cast<std::chrono::nanoseconds>(due - Clock::now()).count());
  limit->tv_sec = static_cast<time_t>(wait / 1000000000);
  limit->tv_nsec = static_cast<long>(wait % 1000000000);
  return limit;
}

// Forwards between client and server until both directions have ended or one fails.
void relay(int client, int server, Clock::duration delay) {
  DelayedPipe upstream(client, server, delay);
  DelayedPipe downstream(server, client, delay);
  Clock::time_point now = Clock::now();
  while (!(upstream.finished() && downstream.finished())) {
    pollfd entries[2] = {poll_entry(client, upstream, downstream),
                         poll_entry(server, downstream, upstream)};
    // The sleep is judged by the time of the last write attempt: a chunk that fell due since
    // then has not been written yet and must not be left to wait for an unrelated event.
    timespec limit;
    if (ppoll(entries, 2, sleep_limit(upstream, downstream, now, &limit), nullptr) < 0 &&
        errno != EINTR) {
      return;
    }
    now = Clock::now();
    if (!upstream.read_available(now) || !downstream.read_available(now) ||
        !upstream.write_released(now) || !downstream.write_released(now)) {
      return;
    }
  }
}

int relay_main(int argc, char** argv) {
  CLI::App app{"quorvel-delay-relay: a loopback TCP relay that delays each direction"};
  int connect_port = 0;
  double delay_ms = 0.5;
  app.add_option("--connect-port", connect_port, "the server's port on 127.0.0.1")
      ->required()
      ->check(CLI::Range(1, 65535));
  app.add_option("--delay-ms", delay_ms, "the delay each way, in milliseconds")
      ->check(CLI::Range(0.0, 10000.0));
  CLI11_PARSE(app, argc, argv);

  // The default timer slack of 50 us would be a tenth of a 0.5 ms delay.
  prctl(PR_SET_TIMERSLACK, 1000UL);
  const auto delay = std::chrono::duration_cast<Clock::duration>(
      std::chrono::duration<double, std::milli>(delay_ms));
  uint16_t port = 0;
  const BareSocket listener = BareSocket::listen_loopback(&port);
  if (!listener.valid()) {
    std::fprintf(stderr, "quorvel-delay-relay: cannot listen on 127.0.0.1\n");
    return 1;
  }
  std::fprintf(stderr, "quorvel-delay-relay: listening on port %u\n", port);
  std::fflush(stderr);
  for (;;) {
    const BareSocket client = listener.accept_one();
    if (!client.valid()) continue;
    client::ClientSocket server;
    std::string problem;
    if (!server.connect("127.0.0.1", std::to_string(connect_port), 0, &problem)) {
      std::fprintf(stderr, "quorvel-delay-relay: cannot connect to port %d\n", connect_port);
      continue;
    }
    if (make_non_blocking(client.descriptor()) && make_non_blocking(server.descriptor()))
      relay(client.descriptor(), server.descriptor(), delay);
  }
}

}  // namespace

}  // namespace quorvel::bench

int main(int argc, char** argv) {
  return quorvel::bench::relay_main(argc, argv);
}
