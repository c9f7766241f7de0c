#include "server/run_server.h"

#include "server/port_resolution.h"
#include "server/session.h"
#include "server/socket.h"

namespace quorvel {

namespace {

constexpr int kBacklog = 5;
constexpr int kWaitingSleepMs = 100;

// Waits until the listener is readable; false when the host aborts first.
bool wait_for_client(const HostOutputInfo& host, net::SocketHandle listener) {
  for (;;) {
    if (host.is_aborted() != 0) return false;
    if (net::is_readable(listener, 0)) return true;
    net::sleep_ms(kWaitingSleepMs);
  }
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
  if (!net::bind_any(listener.get(), port)) return 1;
  if (!net::listen_on(listener.get(), kBacklog)) return 1;
  if (observer != nullptr)
    observer->on_listening(observer->context, net::local_port(listener.get()));

  if (!wait_for_client(host, listener.get())) return 1;
  net::ScopedSocket client(net::accept_client(listener.get()));
  // One client per run: later connection attempts find no listener.
  listener.reset();
  if (!client.valid()) return 1;

  Session session(host, settings, client.get());
  session.serve();
  return 1;
}

}  // namespace quorvel
