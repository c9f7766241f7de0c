// ConcurrentClients: clients of the harness's own that the plug-in serves at the same time,
// each on a thread of its own, as a preview beside an encode or several encoders do. Each
// connects, reads the stream info and waits until every other has read it too, so that all
// are connected at once (with one client at a time served, the others never get there);
// then it asks for every frame, the even clients from the first on and the odd ones from the
// last back, checks them, sends Disconnect and waits for the plug-in to close the
// connection. When all have ended, done() turns true.
#ifndef QUORVEL_WINDOWS_HARNESS_CONCURRENT_CLIENTS_H_
#define QUORVEL_WINDOWS_HARNESS_CONCURRENT_CLIENTS_H_

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "test_stream.h"

namespace harness {

class ConcurrentClients {
 public:
  ConcurrentClients(uint16_t port, const StreamShape& shape, int clients);
  ~ConcurrentClients();
  ConcurrentClients(const ConcurrentClients&) = delete;
  ConcurrentClients& operator=(const ConcurrentClients&) = delete;

  // Turns true once every client has ended; the harness's host aborts then.
  const std::atomic<bool>& done() const { return done_; }
  // Waits for the threads; the counts below are final after it.
  void join();
  // Clients whose every reply matched the test stream and whose connection the plug-in
  // closed after their Disconnect.
  int served() const { return served_; }
  // Whether every client had its stream info while all were connected.
  bool connected_at_once() const { return arrived_ == clients_; }

 private:
  void run(uint16_t port, const StreamShape& shape, int client);

  const int clients_;
  std::atomic<bool> done_{false};
  std::atomic<int> served_{0};
  std::atomic<int> arrived_{0};
  std::atomic<int> ended_{0};
  std::vector<std::thread> threads_;
};

}  // namespace harness

#endif  // QUORVEL_WINDOWS_HARNESS_CONCURRENT_CLIENTS_H_
