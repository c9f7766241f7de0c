// StalledClient: a client of the harness's own, on a thread of its own, that connects to the
// plug-in, asks for many frames and never reads a reply, keeping the connection open until
// it is destroyed. The plug-in's socket then fills up while the host's thread is inside it.
#ifndef QUORVEL_WINDOWS_HARNESS_STALLED_CLIENT_H_
#define QUORVEL_WINDOWS_HARNESS_STALLED_CLIENT_H_

#include <atomic>
#include <cstdint>
#include <thread>

namespace harness {

class StalledClient {
 public:
  // Connects to 127.0.0.1:port (retrying while the plug-in is not yet listening), then
  // sends `frames` GetFrame requests.
  StalledClient(uint16_t port, int frames);
  ~StalledClient();  // closes the connection
  StalledClient(const StalledClient&) = delete;
  StalledClient& operator=(const StalledClient&) = delete;

  // True once every request went out.
  bool requests_sent() const { return requests_sent_; }

 private:
  void run(uint16_t port, int frames);

  std::atomic<bool> requests_sent_{false};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace harness

#endif  // QUORVEL_WINDOWS_HARNESS_STALLED_CLIENT_H_
