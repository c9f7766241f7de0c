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

struct Script {
  // What the script says.
  StartupFault fault = StartupFault::kNone;
  int64_t connect_at_ms = 0;
  std::map<std::string, uint16_t> services;
  std::map<std::string, uint32_t> hosts;
  std::deque<Arrival> arrivals;
  int receive_chunk_limit = 0;
  ClientEnd client_end = ClientEnd::kCloses;
  int send_limit = 0;
  int fail_send_from = 0;
  int fail_send_result = -1;
  size_t stall_after_bytes = std::numeric_limits<size_t>::max();
  int64_t stall_until_ms = kNever;
  int64_t time_limit_ms = 60000;

  // What happened.
  int64_t now_ms = 0;
  bool time_limit_hit = false;
  bool listener_open = false;
  bool client_open = false;
  bool client_accepted = false;
  std::vector<uint8_t> sent;
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

// The fake time at which the socket turns readable (kNever: not by itself).
int64_t readable_from(net::SocketHandle socket) {
  const Script& s = script();
  if (socket == kListenerHandle && s.listener_open) {
    return s.connect_at_ms < 0 || s.client_accepted ? kNever : s.connect_at_ms;
  }
  if (socket == kClientHandle && s.client_open) {
    if (!s.arrivals.empty()) return s.arrivals.front().at_ms;
    return s.client_end == ClientEnd::kGoesSilent ? kNever : 0;
  }
  return kNever;
}

// The fake time at which the client's socket can take bytes again (now: it can).
int64_t writable_from() {
  const Script& s = script();
  return s.sent.size() >= s.stall_after_bytes ? s.stall_until_ms : s.now_ms;
}

bool open_handle(net::SocketHandle socket) {
  const Script& s = script();
  return (socket == kListenerHandle && s.listener_open) ||
         (socket == kClientHandle && s.client_open);
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
  script().connect_at_ms = time_ms;
}
void add_service(const std::string& name, uint16_t port) {
  script().services[name] = port;
}

void add_host(const std::string& name, uint32_t ipv4) {
  script().hosts[name] = ipv4;
}

void client_sends(const std::vector<uint8_t>& bytes, int64_t arrival_ms) {
  if (bytes.empty()) return;
  Script& s = script();
  const int64_t after_earlier = s.arrivals.empty() ? 0 : s.arrivals.back().at_ms;
  Arrival arrival;
  arrival.bytes = bytes;
  arrival.at_ms = std::max(arrival_ms, after_earlier);
  s.arrivals.push_back(std::move(arrival));
}

void set_receive_chunk_limit(int bytes) {
  script().receive_chunk_limit = bytes;
}
void set_client_end(ClientEnd end) {
  script().client_end = end;
}
void set_send_limit(int bytes) {
  script().send_limit = bytes;
}

void fail_send_from_call(int n, int result) {
  script().fail_send_from = n;
  script().fail_send_result = result;
}

void client_stops_reading(size_t after_bytes, int64_t until_ms) {
  script().stall_after_bytes = after_bytes;
  script().stall_until_ms = until_ms < 0 ? kNever : until_ms;
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
  return script().sent;
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
  size_t left = 0;
  for (const Arrival& arrival : script().arrivals) left += arrival.bytes.size() - arrival.taken;
  return left;
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
  return (script().listener_open ? 1 : 0) + (script().client_open ? 1 : 0);
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
  if (socket != fake::kClientHandle || !s.client_open) return false;
  const int64_t wake_ms = s.now_ms + std::max(timeout_ms, 0);
  const int64_t ready_ms = fake::writable_from();
  if (ready_ms <= wake_ms) {
    fake::block_until(ready_ms);
    return true;
  }
  fake::block_until(wake_ms);
  return fake::broken();
}

SocketHandle accept_client(SocketHandle listener) {
  fake::Script& s = fake::script();
  ++s.accept_calls;
  if (listener != fake::kListenerHandle || !s.listener_open || s.client_accepted) {
    return kInvalidSocket;
  }
  // accept() blocks until the client connects.
  fake::block_until(fake::readable_from(listener));
  if (fake::broken() || s.fault == StartupFault::kAccept) return kInvalidSocket;
  s.client_accepted = true;
  s.client_open = true;
  return fake::kClientHandle;
}

int receive(SocketHandle socket, uint8_t* buffer, int length) {
  fake::Script& s = fake::script();
  if (s.receive_calls++ == 0) s.listener_closed_before_first_receive = !s.listener_open;
  if (socket != fake::kClientHandle || !s.client_open || length < 0) return -1;
  if (length == 0) return 0;
  // recv() blocks until bytes arrive or the client's end shows.
  fake::block_until(fake::readable_from(socket));
  if (fake::broken()) return -1;
  if (s.arrivals.empty()) return s.client_end == fake::ClientEnd::kCloses ? 0 : -1;

  fake::Arrival& arrival = s.arrivals.front();
  size_t count = std::min(static_cast<size_t>(length), arrival.bytes.size() - arrival.taken);
  if (s.receive_chunk_limit > 0)
    count = std::min(count, static_cast<size_t>(s.receive_chunk_limit));
  std::memcpy(buffer, arrival.bytes.data() + arrival.taken, count);
  arrival.taken += count;
  if (arrival.taken == arrival.bytes.size()) s.arrivals.pop_front();
  return static_cast<int>(count);
}

int send(SocketHandle socket, const uint8_t* data, int length) {
  fake::Script& s = fake::script();
  const int call = static_cast<int>(s.send_calls.size()) + 1;
  int result;
  if (socket != fake::kClientHandle || !s.client_open || length < 0 || fake::broken()) {
    result = -1;
  } else if (s.fail_send_from > 0 && call >= s.fail_send_from) {
    result = s.fail_send_result;
  } else if (length > 0 && fake::writable_from() > s.now_ms) {
    result = kWouldBlock;
  } else {
    result = s.send_limit > 0 ? std::min(length, s.send_limit) : length;
    if (s.sent.size() < s.stall_after_bytes) {
      const size_t room = s.stall_after_bytes - s.sent.size();
      result = static_cast<int>(std::min(static_cast<size_t>(result), room));
    }
    s.sent.insert(s.sent.end(), data, data + result);
  }
  s.send_calls.push_back({socket, length, result});
  return result;
}

void close(SocketHandle socket) {
  fake::Script& s = fake::script();
  if (socket == fake::kListenerHandle && s.listener_open) {
    s.listener_open = false;
  } else if (socket == fake::kClientHandle && s.client_open) {
    s.client_open = false;
  } else {
    ++s.bad_close_calls;
  }
}

void sleep_ms(int milliseconds) {
  fake::script().now_ms += std::max(milliseconds, 0);
}

}  // namespace quorvel::net
