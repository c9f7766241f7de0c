// ChildProcess: runs a program under test (or one of the benchmark's server roles) with its
// standard streams on pipes or files, reads its stderr line by line with a time limit, and
// waits for it with a time limit. The destructor kills the child (by its own pid) if it is
// still running, so a failed test never leaves a server behind.
#ifndef QUORVEL_TESTS_SUPPORT_CHILD_PROCESS_H_
#define QUORVEL_TESTS_SUPPORT_CHILD_PROCESS_H_

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace quorvel::testing {

struct ChildIo {
  std::string stdin_path = "/dev/null";
  std::string stdout_path;                // empty: a pipe the test reads with read_stdout()
  bool stdout_pipe_closed_early = false;  // close the read end of the stdout pipe at once
};

class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool start(const std::vector<std::string>& argv, const ChildIo& io = ChildIo());

  // Waits up to timeout_ms for a line on stderr that contains `needle`; returns it (or "").
  // Every line read is also kept in stderr_text().
  std::string wait_for_stderr_line(const std::string& needle, int timeout_ms);
  // The port from "listening on port N", or 0 after timeout_ms.
  int wait_for_port(int timeout_ms);

  // Waits up to timeout_ms for the exit; returns the exit code, 128 + signal for a signal,
  // -1 on timeout (the child is then still running).
  int wait(int timeout_ms);
  void signal(int signal_number);
  // Waits up to grace_ms for the exit, then kills the child. False when it had to be killed.
  bool end(int grace_ms);

  // A line "Name: value kB" of /proc/PID/status in KiB (VmRSS, VmHWM); -1 when unreadable.
  int64_t status_kib(const char* name) const;

  // Drains the rest of stderr (after exit) and returns all of it.
  const std::string& stderr_text();
  // Reads stdout (from the pipe) until end of file or timeout_ms.
  std::string read_stdout(int timeout_ms);
  pid_t pid() const { return pid_; }

 private:
  bool read_available(int fd, std::string* into, int timeout_ms);

  pid_t pid_ = -1;
  bool exited_ = false;
  int stderr_fd_ = -1;
  int stdout_fd_ = -1;
  std::string stderr_;
  size_t stderr_scanned_ = 0;
};

}  // namespace quorvel::testing

#endif  // QUORVEL_TESTS_SUPPORT_CHILD_PROCESS_H_
