#include "bench/child_process.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "bench/interleaved_timer.h"

namespace quorvel::bench {

namespace {

constexpr double kExitWaitSeconds = 5.0;

// Reads one line from the pipe, a byte at a time so nothing after it is consumed.
std::string read_line(int fd) {
  std::string line;
  char c;
  while (line.size() < 32 && ::read(fd, &c, 1) == 1 && c != '\n') line.push_back(c);
  return line;
}

}  // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments) {
  int pipe_fds[2];
  if (::pipe(pipe_fds) != 0) return;
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  std::fflush(nullptr);
  pid_ = ::fork();
  if (pid_ == 0) {
    ::dup2(pipe_fds[1], STDOUT_FILENO);
    ::close(pipe_fds[0]);
    ::close(pipe_fds[1]);
    ::execv(program.c_str(), argv.data());
    std::_Exit(127);
  }
  ::close(pipe_fds[1]);
  if (pid_ > 0) {
    const long port = std::strtol(read_line(pipe_fds[0]).c_str(), nullptr, 10);
    if (port > 0 && port < 65536) port_ = static_cast<uint16_t>(port);
  }
  ::close(pipe_fds[0]);
}

ChildProcess::~ChildProcess() {
  if (pid_ <= 0) return;
  const double deadline = now_seconds() + kExitWaitSeconds;
  int status = 0;
  while (::waitpid(pid_, &status, WNOHANG) == 0) {
    if (now_seconds() > deadline) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, &status, 0);
      std::fprintf(stderr, "quorvel-bench: server process %d did not end; stopped it\n", pid_);
      return;
    }
    ::usleep(1000);
  }
}

int64_t ChildProcess::status_kib(const char* name) const {
  std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
  std::string line;
  const std::string prefix = std::string(name) + ":";
  while (std::getline(status, line)) {
    if (line.compare(0, prefix.size(), prefix) == 0) return std::atoll(line.c_str() + prefix.size());
  }
  return -1;
}

}  // namespace quorvel::bench
