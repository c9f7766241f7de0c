// A scripted sockets layer: implements every function of server/socket.h against a script,
// for linking in place of quorvel_sockets (link quorvel_server, then quorvel_fake_sockets).
// The script says what each client sends and when, how its bytes arrive, how sends and
// start-up behave; the fake records what the server sent and which calls it made. Time is a
// fake clock: is_readable(), is_writable() and wait_for_sockets() timeouts and sleep_ms()
// advance it, so abort tests run at once. One client is scripted by default (client 0, the
// functions without a client number); connect_client() adds more.
//
// The script is global state. Call fake_sockets::reset() before each use (test fixture
// SetUp, or each fuzzer input); everything below then starts from its default.
#ifndef QUORVEL_TESTS_SUPPORT_FAKE_SOCKETS_H_
#define QUORVEL_TESTS_SUPPORT_FAKE_SOCKETS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "server/socket.h"

namespace quorvel::fake_sockets {

// The handles the fake hands out.
constexpr net::SocketHandle kListenerHandle = 3;
// Client 0's; client n gets kClientHandle + n.
constexpr net::SocketHandle kClientHandle = 4;
// The port local_endpoint() gives a socket bound to port 0, as if the system had chosen it.
constexpr uint16_t kChosenPort = 49152;

// What the client's side of the connection does once every scripted byte is received.
enum class ClientEnd {
  kCloses,      // readable; receive() returns 0 (the default)
  kFails,       // readable; receive() returns -1
  kGoesSilent,  // never readable again: the session waits, the clock runs
};

// Start-up steps that can be made to fail.
enum class StartupFault {
  kNone,
  kStartup,          // startup() returns false
  kOpenSocket,       // open_stream_socket() returns kInvalidSocket
  kLookupLocalhost,  // lookup_localhost() returns false
  kBind,             // bind_to() returns false
  kListen,           // listen_on() returns false
  kAccept,           // accept_client() returns kInvalidSocket
};

// One call of send(): what the server offered and what the fake took.
struct SendCall {
  net::SocketHandle socket;
  int requested;
  int result;
};

// ---- Script ------------------------------------------------------------------------------

// Back to the defaults: startup works, the client connects at time 0, sends nothing and
// then closes; every send takes its whole piece; no services known; clock at 0; limit 60 s.
void reset();

void fail_startup_step(StartupFault fault);
// The listener turns readable at this fake time; a negative time means no client ever comes.
void client_connects_at_ms(int64_t time_ms);
// A TCP service that lookup_service_port() knows (none by default, so tests do not depend
// on the machine's services database).
void add_service(const std::string& name, uint16_t port);
// A host name that lookup_host_ipv4() resolves (none by default).
void add_host(const std::string& name, uint32_t ipv4);

// Appends bytes the client sends, arriving at the given fake time (not before earlier bytes).
// A receive() never returns bytes of two separate client_sends() calls at once.
void client_sends(const std::vector<uint8_t>& bytes, int64_t arrival_ms = 0);
// Each receive() hands over at most this many bytes (0, the default, means no limit).
void set_receive_chunk_limit(int bytes);
void set_client_end(ClientEnd end);

// Each send() takes at most this many bytes (0, the default, means all it is offered).
void set_send_limit(int bytes);
// The nth send() (1-based) and every later one return `result` (0 or negative).
void fail_send_from_call(int n, int result = -1);
// Once the server has sent `after_bytes` bytes, the client takes no more until fake time
// `until_ms` (never when negative): send() returns net::kWouldBlock, taking nothing, and
// is_writable() waits on the clock. A send that reaches the mark takes only the bytes up to it.
void client_stops_reading(size_t after_bytes, int64_t until_ms = -1);

// Past this fake time the connection breaks, whatever the script says: the listener turns
// readable with a failing accept, receive() and send() fail. It keeps a session that never
// ends (no abort, silent client) from hanging a test; time_limit_hit() tells it happened.
void set_time_limit_ms(int64_t limit_ms);

// ---- Observations ------------------------------------------------------------------------

int64_t now_ms();
bool time_limit_hit();

// Every byte send() took, in order, and every send() call.
const std::vector<uint8_t>& sent_bytes();
const std::vector<SendCall>& send_calls();
// The lengths the server passed to send(), call by call.
std::vector<int> send_sizes();

// Client bytes not yet received by the server.
size_t unreceived_bytes();
int receive_calls();
int accept_calls();
int startup_calls();
int cleanup_calls();
// Sockets opened (listener, client) and not yet closed.
int open_sockets();
// True when the listener was closed before the first receive on the client.
bool listener_closed_before_first_receive();
// close() calls on a handle that was not open (a double close, or a stray handle).
int bad_close_calls();
// The port and address bind_to() was asked for, and the backlog listen_on() got (-1, and
// 0 for the address, before the call).
int bound_port();
uint32_t bound_address();
int listen_backlog();
// The name last passed to lookup_service_port(), as it arrived (empty before any call).
const std::string& last_service_lookup();
// The name last passed to lookup_host_ipv4() (empty before any call).
const std::string& last_host_lookup();
// What last_failure_text() says after a scripted failure.
constexpr char kFailureText[] = "scripted failure";

// ---- Several clients ---------------------------------------------------------------------
// Client 0 is the one the functions above script and observe. Each client added here has a
// script and a record of its own, of the same kinds: it connects at its time (the listener
// is readable while a client that has connected waits to be accepted; accept() takes them
// in the order of their times), sends its bytes, ends as set (by default it closes once
// its bytes are received) and takes replies until it stops reading. A receive() that finds
// nothing arrived yet returns net::kWouldBlock.

// Adds a client connecting at this fake time; returns its number (1, 2, ...).
int connect_client(int64_t connect_at_ms = 0);
void sends(int client, const std::vector<uint8_t>& bytes, int64_t arrival_ms = 0);
void ends(int client, ClientEnd end);
void stops_reading(int client, size_t after_bytes, int64_t until_ms = -1);

net::SocketHandle handle_of(int client);
// Every byte the server sent this client.
const std::vector<uint8_t>& sent_to(int client);
size_t unreceived_by(int client);
int receives_from(int client);
// The fake time the server accepted and closed the client's connection; -1 when it did not.
int64_t accepted_at_ms(int client);
int64_t closed_at_ms(int client);

}  // namespace quorvel::fake_sockets

#endif  // QUORVEL_TESTS_SUPPORT_FAKE_SOCKETS_H_
