#include "server/run_server.h"

#include "server/port_resolution.h"
#include "server/serving_loop.h"
#include "server/session.h"
#include "server/socket.h"

namespace quorvel {

namespace {

constexpr int kBacklog = 5;
constexpr int kWaitingSleepMs = 100;

// Binds the listener to the endpoint and listens; tells the observer the endpoint it got.
bool start_listening(net::SocketHandle listener, const ListenEndpoint& endpoint,
                     const ListenObserver* observer) {
  if (!net::bind_to(listener, endpoint.ipv4, endpoint.port) ||
      !net::listen_on(listener, kBacklog)) {
    return false;
  }
  if (observer != nullptr) observer->on_listening(observer->context, net::local_endpoint(listener));
  return true;
}

// Returns 1, the result of a run that cannot listen, after telling the observer why.
int32_t cannot_listen(const ListenObserver* observer) {
  if (observer != nullptr && observer->on_listen_failed != nullptr) {
    observer->on_listen_failed(observer->context, net::last_failure_text());
  }
  return 1;
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
  Session session(host, settings);
  session.serve(client.get());
  return true;
}

// After a conversation: whether the run listens for another. The flag is read now, not at
// the start of the run; an abort ends the run whatever the flag says.
bool waits_for_another(const HostOutputInfo& host, const ServerSettings& settings) {
  return keeps_waiting(settings) && host.is_aborted() == 0;
}

}  // namespace

int32_t run_server(const HostOutputInfo& host, const ServerSettings& settings,
                   const ListenObserver* observer, int client_limit) {
  net::ScopedNetwork network;
  if (!network.started()) return 0;
  ListenEndpoint endpoint{};
  const bool resolved = resolve_listen_endpoint(settings.port_text, &endpoint);

  net::ScopedSocket listener(net::open_stream_socket());
  if (!listener.valid()) return 0;
  if (!net::lookup_localhost()) return 1;
  if (!resolved || !start_listening(listener.get(), endpoint, observer)) {
    return cannot_listen(observer);
  }
  if (serves_several_clients(settings)) {
    // One listener for the whole run; clients come and go beside each other.
    ServingLoop loop(host, settings, client_limit);
    loop.run(listener.get());
    return 1;
  }
  // Later listeners take the endpoint this one got, whose port differs from the settings'
  // when those give 0 and the system chose one.
  const ListenEndpoint run_endpoint = net::local_endpoint(listener.get());

  while (serve_next_client(host, settings, &listener) && waits_for_another(host, settings)) {
    listener.reset(net::open_stream_socket());
    if (!listener.valid() || !start_listening(listener.get(), run_endpoint, observer)) return 1;
  }
  return 1;
}

}  // namespace quorvel
