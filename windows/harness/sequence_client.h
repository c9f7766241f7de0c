// SequenceClients: clients of the harness's own that come one after another, on a thread of
// their own, the way a two-pass encode or an encoder front-end opens its script more than
// once. Each connects to the plug-in, asks for the stream info and for every frame (raw: no
// codec is asked for), checks them against the test stream, sends Disconnect and waits for
// the plug-in to close the connection. While the first is connected, a second connection
// is tried, which must be refused. When the last has ended, done() turns true.
#ifndef QUORVEL_WINDOWS_HARNESS_SEQUENCE_CLIENT_H_
#define QUORVEL_WINDOWS_HARNESS_SEQUENCE_CLIENT_H_

#include <atomic>
#include <cstdint>
#include <thread>

#include "test_stream.h"

namespace harness {

class SequenceClients {
 public:
  SequenceClients(uint16_t port, const StreamShape& shape, int clients);
  ~SequenceClients();
  SequenceClients(const SequenceClients&) = delete;
  SequenceClients& operator=(const SequenceClients&) = delete;

  // Turns true once every client has ended (its conversation finished or failed); the
  // harness's host aborts then.
  const std::atomic<bool>& done() const { return done_; }
  // Waits for the thread; the counts below are final after it.
  void join();
  // Clients whose every reply matched the test stream and whose connection the plug-in
  // closed after their Disconnect.
  int served() const { return served_; }
  // Clients that found no listener although they kept trying for a while.
  int refused() const { return refused_; }
  // Whether a connection tried while the first client was being served was refused.
  bool second_connection_refused() const { return second_refused_; }

 private:
  void run(uint16_t port, const StreamShape& shape, int clients);

  std::atomic<bool> done_{false};
  std::atomic<int> served_{0};
  std::atomic<int> refused_{0};
  std::atomic<bool> second_refused_{false};
  std::thread thread_;
};

// One connection attempt to 127.0.0.1:port; true when it was refused (nothing listens), false
// when something accepted it or the attempt could not be made.
bool connection_refused(uint16_t port);

}  // namespace harness

#endif  // QUORVEL_WINDOWS_HARNESS_SEQUENCE_CLIENT_H_
