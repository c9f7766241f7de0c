// ServerProcess: this program started again in one of its server roles (the session with a
// stand-in host, the bare sender, the ping-pong), so that each server has a process, and a
// resident set, of its own. The child tells the port it listens on in a "listening on port
// N" line on stderr.
#ifndef QUORVEL_BENCH_SERVER_PROCESS_H_
#define QUORVEL_BENCH_SERVER_PROCESS_H_

#include <signal.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/child_process.h"

namespace quorvel::bench {

class ServerProcess {
 public:
  // Starts program with arguments and reads its port; started() is false when it could not
  // be started or told no port.
  ServerProcess(const std::string& program, const std::vector<std::string>& arguments,
                int start_ms = 10000);
  // Waits for the child to end (it ends when its client goes); ends it after a few seconds.
  ~ServerProcess();
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  bool started() const { return port_ != 0; }
  // Asks a server that keeps listening (quorvel-serve --clients, --keep-waiting) to end,
  // as Ctrl-C does; the destructor then waits for it.
  void interrupt() { process_.signal(SIGINT); }
  uint16_t port() const { return port_; }
  // VmRSS, VmHWM and the like of the child, in KiB; -1 when unreadable.
  int64_t status_kib(const char* name) const { return process_.status_kib(name); }

 private:
  testing::ChildProcess process_;
  uint16_t port_ = 0;
};

}  // namespace quorvel::bench

#endif  // QUORVEL_BENCH_SERVER_PROCESS_H_
