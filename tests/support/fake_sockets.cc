#include "tests/support/fake_sockets.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <limits>
#include <map>

namespace quorvel::fake_sockets {

namespace {

constexpr int64_t kNever = std::numeric_limits<int64_t>::max();

struct Arrival {
  std::vector<uint8_t> bytes;
  size_t taken = 0;
  int64_t at_ms = 0;
};

// One client's script and record.
struct Client {
  int64_t connect_at_ms = 0;
  std::deque<Arrival> arrivals;
  ClientEnd end = ClientEnd::kCloses;
  size_t stall_after_bytes = std::numeric_limits<size_t>::max();
  int64_t stall_until_ms = kNever;

  bool accepted = false;
  bool open = false;
  int64_t accepted_at_ms = -1;
  int64_t closed_at_ms = -1;
  int receive_calls = 0;
  std::vector<uint8_t> sent;
};

struct Script {
  // What the script says.
  StartupFault fault = StartupFault::kNone;
  std::map<std::string, uint16_t> services;
  std::map<std::string, uint32_t> hosts;
  std::vector<Client> clients = std::vector<Client>(1);
  int receive_chunk_limit = 0;
  int send_limit = 0;
  int fail_send_from = 0;
  int fail_send_result = -1;
  int64_t time_limit_ms = 60000;

  // What happened.
  int64_t now_ms = 0;
  bool time_limit_hit = false;
  bool listener_open = false;
  std::vector<SendCall> send_calls;
  int receive_calls = 0;
  int accept_calls = 0;
  int startup_calls = 0;
  int cleanup_calls = 0;
  int bad_close_calls = 0;
  bool listener_closed_before_first_receive = false;
  int bound_port = -1;
  uint32_t bound_address = 0;
  int listen_backlog = -1;
  std::string last_service_lookup;
  std::string last_host_lookup;
  const char* failure_text = "";
};

Script& script() {
  static Script instance;
  return instance;
}

// Once the time limit has passed, the connection counts as broken.
bool broken() {
  Script& s = script();
  if (s.now_ms < s.time_limit_ms) return false;
  s.time_limit_hit = true;
  return true;
}

// A blocking call that would wait until `time_ms`: the clock jumps there, capped at the
// limit.
void block_until(int64_t time_ms) {
  Script& s = script();
  s.now_ms = std::max(s.now_ms, std::min(time_ms, s.time_limit_ms));
}

Client& client_at(int client) {
  return script().clients.at(static_cast<size_t>(client));
}

// The client behind a handle the server holds open; null for any other handle.
Client* open_client(net::SocketHandle socket) {
  Script& s = script();
  if (socket < kClientHandle || socket >= kClientHandle + static_cast<int64_t>(s.clients.size())) {
    return nullptr;
  }
  Client& client = s.clients[static_cast<size_t>(socket - kClientHandle)];
  return client.open ? &client : nullptr;
}

// The client accept() takes next: the first to connect of those not yet accepted.
Client* next_to_connect() {
  Client* next = nullptr;
  for (Client& client : script().clients) {
    if (client.accepted || client.connect_at_ms < 0) continue;
    if (next == nullptr || client.connect_at_ms < next->connect_at_ms) next = &client;
  }
  return next;
}

// The fake time at which the socket turns readable (kNever: not by itself).
int64_t readable_from(net::SocketHandle socket) {
  const Script& s = script();
  if (socket == kListenerHandle && s.listener_open) {
    const Client* next = next_to_connect();
    return next == nullptr ? kNever : next->connect_at_ms;
  }
  if (const Client* client = open_client(socket)) {
    if (!client->arrivals.empty()) return client->arrivals.front().at_ms;
    return client->end == ClientEnd::kGoesSilent ? kNever : 0;
  }
  return kNever;
}

// The fake time at which the client's socket can take bytes again (now: it can).
int64_t writable_from(const Client& client) {
  return client.sent.size() >= client.stall_after_bytes ? client.stall_until_ms : script().now_ms;
}

bool open_handle(net::SocketHandle socket) {
  return (socket == kListenerHandle && script().listener_open) || open_client(socket) != nullptr;
}

}  // namespace

// ---- Script ------------------------------------------------------------------------------

void reset() {
  script() = Script();
}

void fail_startup_step(StartupFault fault) {
  script().fault = fault;
}
void client_connects_at_ms(int64_t time_ms) {
  client_at(0).connect_at_ms = time_ms;
}
void add_service(const std::string& name, uint16_t port) {
  script().services[name] = port;
}

void add_host(const std::string& name, uint32_t ipv4) {
  script().hosts[name] = ipv4;
}

void client_sends(const std::vector<uint8_t>& bytes, int64_t arrival_ms) {
  sends(0, bytes, arrival_ms);
}

void set_receive_chunk_limit(int bytes) {
  script().receive_chunk_limit = bytes;
}
void set_client_end(ClientEnd end) {
  ends(0, end);
}
void set_send_limit(int bytes) {
  script().send_limit = bytes;
}

void fail_send_from_call(int n, int result) {
  script().fail_send_from = n;
  script().fail_send_result = result;
}

void client_stops_reading(size_t after_bytes, int64_t until_ms) {
  stops_reading(0, after_bytes, until_ms);
}

void set_time_limit_ms(int64_t limit_ms) {
  script().time_limit_ms = limit_ms;
}

// ---- Observations ------------------------------------------------------------------------

int64_t now_ms() {
  return script().now_ms;
}
bool time_limit_hit() {
  return script().time_limit_hit;
}
const std::vector<uint8_t>& sent_bytes() {
  return sent_to(0);
}
const std::vector<SendCall>& send_calls() {
  return script().send_calls;
}

std::vector<int> send_sizes() {
  std::vector<int> sizes;
  for (const SendCall& call : script().send_calls) sizes.push_back(call.requested);
  return sizes;
}

size_t unreceived_bytes() {
  return unreceived_by(0);
}

int receive_calls() {
  return script().receive_calls;
}
int accept_calls() {
  return script().accept_calls;
}
int startup_calls() {
  return script().startup_calls;
}
int cleanup_calls() {
  return script().cleanup_calls;
}
int open_sockets() {
  int open = script().listener_open ? 1 : 0;
  for (const Client& client : script().clients) open += client.open ? 1 : 0;
  return open;
}
bool listener_closed_before_first_receive() {
  return script().listener_closed_before_first_receive;
}
int bad_close_calls() {
  return script().bad_close_calls;
}
int bound_port() {
  return script().bound_port;
}
uint32_t bound_address() {
  return script().bound_address;
}
int listen_backlog() {
  return script().listen_backlog;
}
const std::string& last_service_lookup() {
  return script().last_service_lookup;
}
const std::string& last_host_lookup() {
  return script().last_host_lookup;
}

// ---- Several clients ---------------------------------------------------------------------

int connect_client(int64_t connect_at_ms) {
  Script& s = script();
  s.clients.emplace_back();
  s.clients.back().connect_at_ms = connect_at_ms;
  return static_cast<int>(s.clients.size()) - 1;
}

void sends(int client, const std::vector<uint8_t>& bytes, int64_t arrival_ms) {
  if (bytes.empty()) return;
  std::deque<Arrival>& arrivals = client_at(client).arrivals;
  const int64_t after_earlier = arrivals.empty() ? 0 : arrivals.back().at_ms;
  Arrival arrival;
  arrival.bytes = bytes;
  arrival.at_ms = std::max(arrival_ms, after_earlier);
  arrivals.push_back(std::move(arrival));
}

void ends(int client, ClientEnd end) {
  client_at(client).end = end;
}

void stops_reading(int client, size_t after_bytes, int64_t until_ms) {
  client_at(client).stall_after_bytes = after_bytes;
  client_at(client).stall_until_ms = until_ms < 0 ? kNever : until_ms;
}

net::SocketHandle handle_of(int client) {
  return kClientHandle + client;
}

const std::vector<uint8_t>& sent_to(int client) {
  return client_at(client).sent;
}

size_t unreceived_by(int client) {
  size_t left = 0;
  for (const Arrival& arrival : client_at(client).arrivals) {
    left += arrival.bytes.size() - arrival.taken;
  }
  return left;
}

int receives_from(int client) {
  return client_at(client).receive_calls;
}

int64_t accepted_at_ms(int client) {
  return client_at(client).accepted_at_ms;
}

int64_t closed_at_ms(int client) {
  return client_at(client).closed_at_ms;
}

}  // namespace quorvel::fake_sockets

// ---- The sockets layer, as the session sees it -------------------------------------------

namespace quorvel::net {

namespace fake = fake_sockets;
using fake::StartupFault;

bool startup() {
  ++fake::script().startup_calls;
  return fake::script().fault != StartupFault::kStartup;
}

void cleanup() {
  ++fake::script().cleanup_calls;
}

bool lookup_service_port(const char* name, uint16_t* port) {
  fake::Script& s = fake::script();
  s.last_service_lookup = name;
  const auto found = s.services.find(name);
  if (found == s.services.end()) return false;
  *port = found->second;
  return true;
}

bool lookup_localhost() {
  return fake::script().fault != StartupFault::kLookupLocalhost;
}

bool lookup_host_ipv4(const char* name, uint32_t* address) {
  fake::Script& s = fake::script();
  s.last_host_lookup = name;
  const auto found = s.hosts.find(name);
  if (found == s.hosts.end()) {
    s.failure_text = fake::kFailureText;
    return false;
  }
  *address = found->second;
  return true;
}

SocketHandle open_stream_socket() {
  fake::Script& s = fake::script();
  if (s.fault == StartupFault::kOpenSocket || s.listener_open) return kInvalidSocket;
  s.listener_open = true;
  return fake::kListenerHandle;
}

bool bind_to(SocketHandle socket, uint32_t address, uint16_t port) {
  fake::Script& s = fake::script();
  s.bound_port = port;
  s.bound_address = address;
  if (socket == fake::kListenerHandle && s.fault != StartupFault::kBind) return true;
  s.failure_text = fake::kFailureText;
  return false;
}

bool listen_on(SocketHandle socket, int backlog) {
  fake::Script& s = fake::script();
  s.listen_backlog = backlog;
  if (socket == fake::kListenerHandle && s.fault != StartupFault::kListen) return true;
  s.failure_text = fake::kFailureText;
  return false;
}

ListenEndpoint local_endpoint(SocketHandle socket) {
  const fake::Script& s = fake::script();
  if (socket != fake::kListenerHandle || s.bound_port < 0) return {0, 0};
  const uint16_t port = s.bound_port == 0 ? fake::kChosenPort : static_cast<uint16_t>(s.bound_port);
  return {s.bound_address, port};
}

const char* last_failure_text() {
  return fake::script().failure_text;
}

bool is_readable(SocketHandle socket, int timeout_ms) {
  fake::Script& s = fake::script();
  const int64_t wake_ms = s.now_ms + std::max(timeout_ms, 0);
  const int64_t ready_ms = fake::readable_from(socket);
  if (ready_ms <= wake_ms && fake::open_handle(socket)) {
    fake::block_until(ready_ms);
    return true;
  }
  fake::block_until(wake_ms);
  // A broken connection reads as readable, so that the next call fails at once.
  return fake::open_handle(socket) && fake::broken();
}

bool is_writable(SocketHandle socket, int timeout_ms) {
  fake::Script& s = fake::script();
  const fake::Client* client = fake::open_client(socket);
  if (client == nullptr) return false;
  const int64_t wake_ms = s.now_ms + std::max(timeout_ms, 0);
  const int64_t ready_ms = fake::writable_from(*client);
  if (ready_ms <= wake_ms) {
    fake::block_until(ready_ms);
    return true;
  }
  fake::block_until(wake_ms);
  return fake::broken();
}

int wait_for_sockets(SocketWait* sockets, int count, int timeout_ms) {
  fake::Script& s = fake::script();
  const int64_t wake_ms = s.now_ms + std::max(timeout_ms, 0);
  int64_t ready_ms = fake::kNever;
  for (int i = 0; i < count; ++i) {
    if (sockets[i].want_read) ready_ms = std::min(ready_ms, fake::readable_from(sockets[i].socket));
    const fake::Client* client = fake::open_client(sockets[i].socket);
    if (sockets[i].want_write && client != nullptr) {
      ready_ms = std::min(ready_ms, fake::writable_from(*client));
    }
  }
  fake::block_until(std::min(ready_ms, wake_ms));
  // A broken connection shows as ready, so that the next call fails at once.
  const bool broken = fake::broken();
  int marked = 0;
  for (int i = 0; i < count; ++i) {
    SocketWait& wait = sockets[i];
    const bool open = fake::open_handle(wait.socket);
    const fake::Client* client = fake::open_client(wait.socket);
    wait.readable =
        wait.want_read && open && (broken || fake::readable_from(wait.socket) <= s.now_ms);
    wait.writable = wait.want_write && client != nullptr &&
                    (broken || fake::writable_from(*client) <= s.now_ms);
    marked += wait.readable || wait.writable ? 1 : 0;
  }
  return marked;
}

SocketHandle accept_client(SocketHandle listener) {
  fake::Script& s = fake::script();
  ++s.accept_calls;
  fake::Client* client = fake::next_to_connect();
  if (listener != fake::kListenerHandle || !s.listener_open || client == nullptr) {
    return kInvalidSocket;
  }
  // accept() blocks until the client connects.
  fake::block_until(client->connect_at_ms);
  if (fake::broken() || s.fault == StartupFault::kAccept) return kInvalidSocket;
  client->accepted = true;
  client->open = true;
  client->accepted_at_ms = s.now_ms;
  return fake::kClientHandle + (client - s.clients.data());
}

int receive(SocketHandle socket, uint8_t* buffer, int length) {
  fake::Script& s = fake::script();
  if (s.receive_calls++ == 0) s.listener_closed_before_first_receive = !s.listener_open;
  fake::Client* client = fake::open_client(socket);
  if (client == nullptr || length < 0) return -1;
  ++client->receive_calls;
  if (length == 0) return 0;
  if (fake::broken()) return -1;
  // The session receives only once is_readable() said so; the several-clients loop also
  // tries again after a receive that filled what it asked for.
  if (fake::readable_from(socket) > s.now_ms) return kWouldBlock;
  if (client->arrivals.empty()) return client->end == fake::ClientEnd::kCloses ? 0 : -1;

  fake::Arrival& arrival = client->arrivals.front();
  size_t count = std::min(static_cast<size_t>(length), arrival.bytes.size() - arrival.taken);
  if (s.receive_chunk_limit > 0)
    count = std::min(count, static_cast<size_t>(s.receive_chunk_limit));
  std::memcpy(buffer, arrival.bytes.data() + arrival.taken, count);
  arrival.taken += count;
  if (arrival.taken == arrival.bytes.size()) client->arrivals.pop_front();
  return static_cast<int>(count);
}

int send(SocketHandle socket, const uint8_t* data, int length) {
  fake::Script& s = fake::script();
  const int call = static_cast<int>(s.send_calls.size()) + 1;
  fake::Client* client = fake::open_client(socket);
  int result;
  if (client == nullptr || length < 0 || fake::broken()) {
    result = -1;
  } else if (s.fail_send_from > 0 && call >= s.fail_send_from) {
    result = s.fail_send_result;
  } else if (length > 0 && fake::writable_from(*client) > s.now_ms) {
    result = kWouldBlock;
  } else {
    result = s.send_limit > 0 ? std::min(length, s.send_limit) : length;
    if (client->sent.size() < client->stall_after_bytes) {
      const size_t room = client->stall_after_bytes - client->sent.size();
      result = static_cast<int>(std::min(static_cast<size_t>(result), room));
    }
    client->sent.insert(client->sent.end(), data, data + result);
  }
  s.send_calls.push_back({socket, length, result});
  return result;
}

void close(SocketHandle socket) {
  fake::Script& s = fake::script();
  fake::Client* client = fake::open_client(socket);
  if (socket == fake::kListenerHandle && s.listener_open) {
    s.listener_open = false;
  } else if (client != nullptr) {
    client->open = false;
    client->closed_at_ms = s.now_ms;
  } else {
    ++s.bad_close_calls;
  }
}

void sleep_ms(int milliseconds) {
  fake::script().now_ms += std::max(milliseconds, 0);
}

}  // namespace quorvel::net
