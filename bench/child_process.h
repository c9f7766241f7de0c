// ChildProcess: this program started again in one of its server roles (the session with a
// stand-in host, the bare sender, the ping-pong), so that each server has a process, and a
// resident set, of its own. The child prints the port it listens on as its first line.
#ifndef QUORVEL_BENCH_CHILD_PROCESS_H_
#define QUORVEL_BENCH_CHILD_PROCESS_H_

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace quorvel::bench {

class ChildProcess {
 public:
  // Starts program with arguments and reads the port from its first line of output;
  // started() is false when it could not be started or printed no port.
  ChildProcess(const std::string& program, const std::vector<std::string>& arguments);
  // Waits for the child to end (it ends when its client goes); ends it after a few seconds.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool started() const { return port_ != 0; }
  uint16_t port() const { return port_; }
  pid_t pid() const { return pid_; }

  // A line "Name: value kB" of /proc/PID/status in KiB (VmRSS, VmHWM); -1 when unreadable.
  int64_t status_kib(const char* name) const;

 private:
  pid_t pid_ = -1;
  uint16_t port_ = 0;
};

}  // namespace quorvel::bench

#endif  // QUORVEL_BENCH_CHILD_PROCESS_H_
