#include "server/run_server.h"

#include "server/port_resolution.h"
#include "server/session.h"
#include "server/socket.h"

namespace quorvel {

namespace {

constexpr int kBacklog = 5;
constexpr int kWaitingSleepMs = 100;

// Binds the listener to the port and listens; tells the observer the port it got.
bool start_listening(net::SocketHandle listener, uint16_t port, const ListenObserver* observer) {
  if (!net::bind_any(listener, port) || !net::listen_on(listener, kBacklog)) return false;
  if (observer != nullptr) observer->on_listening(observer->context, net::local_port(listener));
  return true;
}

// Waits until the listener is readable; false when the host aborts first.
bool wait_for_client(const HostOutputInfo& host, net::SocketHandle listener) {
  for (;;) {
    if (host.is_aborted() != 0) return false;
    if (net::is_readable(listener, 0)) return true;
    net::sleep_ms(kWaitingSleepMs);
  }
}

// Waits for a client on the listener, accepts it and serves it to the end of its
// conversation. The listener is closed at the accept: while one client is served, a second
// finds no listener. False when no client was served (an abort while waiting, a failed
// accept).
bool serve_next_client(const HostOutputInfo& host, const ServerSettings& settings,
                       net::ScopedSocket* listener) {
  if (!wait_for_client(host, listener->get())) return false;
  net::ScopedSocket client(net::accept_client(listener->get()));
  listener->reset();
  if (!client.valid()) return false;
  // Each client starts afresh: a new session has the raw codec and nothing prefetched, and
  // its end destroys the codec before the client's socket is closed.
  Session session(host, settings, client.get());
  session.serve();
  return true;
}

// After a conversation: whether the run listens for another. The flag is read now, not at
// the start of the run; an abort ends the run whatever the flag says.
bool waits_for_another(const HostOutputInfo& host, const ServerSettings& settings) {
  return keeps_waiting(settings) && host.is_aborted() == 0;
}

}  // namespace

int32_t run_server(const HostOutputInfo& host, const ServerSettings& settings,
                   const ListenObserver* observer) {
  net::ScopedNetwork network;
  if (!network.started()) return 0;
  const uint16_t port = resolve_port(settings.port_text);

  net::ScopedSocket listener(net::open_stream_socket());
  if (!listener.valid()) return 0;
  if (!net::lookup_localhost()) return 1;
  if (!start_listening(listener.get(), port, observer)) return 1;
  // Later listeners take the port this one got, which differs from the settings' port
  // when those give 0 and the system chose one.
  const uint16_t run_port = net::local_port(listener.get());

  while (serve_next_client(host, settings, &listener) && waits_for_another(host, settings)) {
    listener.reset(net::open_stream_socket());
    if (!listener.valid() || !start_listening(listener.get(), run_port, observer)) return 1;
  }
  return 1;
}

}  // namespace quorvel
