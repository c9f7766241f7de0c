// ServingLoop: the serving run with the several-clients setting. One thread, the host's,
// serves the listener and up to a limit of clients at once, each with a Session of its own
// (its codec, its read-ahead frame, its request being read), in one wait on every socket.
//
// - Each request is read whole, then answered whole; a client with a reply still going out
//   is not read from until it is out. Replies go out as each socket takes them, so a client
//   that stops reading holds up no other.
// - Clients are taken in turn, one request each per turn, so none starves; a read-ahead
//   runs only while no other client has a whole request waiting.
// - The host's abort is polled at every turn (the wait lasts at most 10 ms) and before
//   every request; it ends the run after closing every client. A connection past the limit
//   is accepted and closed at once. A client's Disconnect, failure or bad input ends that
//   client alone.
// - Before the host is asked for a frame or audio on one client's behalf, every other
//   client's reply or raw read-ahead frame that still points into the host's memory is
//   copied into that client's own.
#ifndef QUORVEL_SERVER_SERVING_LOOP_H_
#define QUORVEL_SERVER_SERVING_LOOP_H_

#include <optional>

#include "server/host_abi.h"
#include "server/reply.h"
#include "server/request_reader.h"
#include "server/server_settings.h"
#include "server/session.h"
#include "server/socket.h"

namespace quorvel {

class ServingLoop {
 public:
  // client_limit is clamped to 1 .. kMaxClients.
  // REQUIRES: host and settings outlive the loop.
  ServingLoop(const HostOutputInfo& host, const ServerSettings& settings, int client_limit);
  ~ServingLoop();  // closes every client still connected
  ServingLoop(const ServingLoop&) = delete;
  ServingLoop& operator=(const ServingLoop&) = delete;

  // Serves clients of the listener until the host aborts, then closes every client; the
  // listener stays the caller's. REQUIRES: listener is listening.
  void run(net::SocketHandle listener);

 private:
  struct Client {
    ServingLoop* loop = nullptr;
    FetchHook hook{};
    net::ScopedSocket socket;  // invalid: a free slot
    std::optional<Session> session;
    RequestReader reader;
    Reply reply;
    bool sending = false;  // reply holds bytes still to go out
  };

  // Waits on the listener and every client, then sends and receives as the sockets allow;
  // true when a connection waits to be accepted.
  bool wait_and_transfer(net::SocketHandle listener);
  void accept_from(net::SocketHandle listener);
  void receive_from(Client* client);
  void send_to(Client* client);
  // Answers whole requests and runs read-aheads, one of each per client, in turn; false
  // when the host aborted.
  bool work();
  void answer(Client* client);
  bool request_waiting_besides(const Client* client) const;
  bool may_read_ahead(const Client* client) const;
  bool has_work() const;
  static void before_fetch(void* context);
  void copy_host_memory_besides(const Client* caller);
  void end(Client* client);

  const HostOutputInfo& host_;
  const ServerSettings& settings_;
  const int client_limit_;
  int next_ = 0;  // the slot whose turn comes first in the next work()
  Client clients_[kMaxClients];
};

}  // namespace quorvel

#endif  // QUORVEL_SERVER_SERVING_LOOP_H_
