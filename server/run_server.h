// One serving run: listen on the settings' port, wait for one client while polling the
// host's abort callback, then answer that client's requests until it disconnects, the
// connection fails or the host aborts. With the keep-waiting flag set, a client's end ends
// only its conversation: the run listens on the same port again for the next client, one
// at a time, until the host aborts. With the several-clients flag set, the run keeps
// listening and serves up to a limit of clients at once (ServingLoop) until the host
// aborts. The plug-in's output function is this run with the module's settings; the Linux
// stand-in host calls it with its own.
#ifndef QUORVEL_SERVER_RUN_SERVER_H_
#define QUORVEL_SERVER_RUN_SERVER_H_

#include <cstdint>

#include "server/host_abi.h"
#include "server/listen_endpoint.h"
#include "server/server_settings.h"

namespace quorvel {

// Told the address and port the run actually listens on (the port is useful when the port
// text gives 0), each time it starts listening: once per client when the run keeps waiting.
// Told why, when the run cannot listen at start-up (the address names no IPv4 address, or
// the bind or listen fails), in the platform's words; on_listen_failed may be null.
struct ListenObserver {
  void (*on_listening)(void* context, const ListenEndpoint& endpoint);
  void* context;
  void (*on_listen_failed)(void* context, const char* reason) = nullptr;
};

// Returns 0 when the sockets library cannot start or the socket cannot be created, and 1 in
// every other case. The settings are read where they are used, not copied at the start;
// the several-clients flag once, when the run listens. client_limit is how many clients
// that flag lets the run serve at once (1 to kMaxClients; the plug-in's is kMaxClients).
int32_t run_server(const HostOutputInfo& host, const ServerSettings& settings,
                   const ListenObserver* observer, int client_limit = kMaxClients);

}  // namespace quorvel

#endif  // QUORVEL_SERVER_RUN_SERVER_H_
