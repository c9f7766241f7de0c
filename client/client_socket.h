// ClientSocket: the client's end of the one TCP connection to a frame server. Blocking
// sends and exact-length receives, with an optional time limit per wait, so the request
// loop can treat "the server closed", "the server stopped answering" and errors alike.
#ifndef QUORVEL_CLIENT_CLIENT_SOCKET_H_
#define QUORVEL_CLIENT_CLIENT_SOCKET_H_

#include <cstdint>
#include <string>

namespace quorvel::client {

// kStopped: the run is stopping and the server kept a receive waiting too long.
enum class IoResult { kOk, kClosed, kTimedOut, kError, kStopped };

// How far the user has stopped a run: asked once, it ends after the replies on their way
// (and whatever else it needs to end cleanly); asked again, it waits for nothing more.
enum class Stop { kNone, kAsked, kNow };
using StopCheck = Stop (*)();

// While a run stops, a receive waits at most this long for the server's next bytes.
constexpr int kStoppingWaitMs = 1000;

// A time limit given in seconds as whole milliseconds, rounded up so that a tiny limit is
// still a limit; 0 (or less) is no limit, and limits past what an int holds (some 24 days)
// are that long.
int timeout_ms_from_seconds(double seconds);

class ClientSocket {
 public:
  ClientSocket() = default;
  ~ClientSocket() { close(); }
  ClientSocket(const ClientSocket&) = delete;
  ClientSocket& operator=(const ClientSocket&) = delete;

  // Connects to host (a name or an address) and port (a number or a service name).
  // timeout_ms limits the connect and every later send and receive wait; 0 waits forever.
  // On failure, *error says why.
  bool connect(const std::string& host, const std::string& port, int timeout_ms,
               std::string* error);
  bool connected() const { return fd_ >= 0; }
  // For callers that poll the connection themselves; the socket still owns it.
  int descriptor() const { return fd_; }
  // The last connect() failed because the server refused it.
  bool connection_refused() const { return refused_; }
  void close();

  // Asked before each wait of a receive. Once the run is stopping, a receive waits at most
  // kStoppingWaitMs for the server's next bytes (not at all once it must stop now) and
  // then gives kStopped, so that Ctrl-C ends a wait for a server that does not answer but
  // still takes the replies of one that does. May be null (the default).
  void set_stop_check(StopCheck stop) { stop_ = stop; }

  IoResult send_all(const uint8_t* data, uint64_t length);
  IoResult receive_exactly(uint8_t* buffer, uint64_t length);

  // errno text of the last kError, for messages.
  const std::string& last_error() const { return last_error_; }

 private:
  int fd_ = -1;
  bool refused_ = false;
  StopCheck stop_ = nullptr;
  std::string last_error_;
};

}  // namespace quorvel::client

#endif  // QUORVEL_CLIENT_CLIENT_SOCKET_H_
