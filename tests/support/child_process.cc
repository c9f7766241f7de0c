#include "tests/support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

namespace quorvel::testing {

namespace {

using Clock = std::chrono::steady_clock;

int remaining_ms(Clock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

void redirect(const std::string& path, int flags, int target) {
  const int fd = ::open(path.c_str(), flags, 0644);
  if (fd < 0) _exit(126);
  dup2(fd, target);
  ::close(fd);
}

}  // namespace

ChildProcess::~ChildProcess() {
  if (pid_ > 0 && !exited_) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (stderr_fd_ >= 0) ::close(stderr_fd_);
  if (stdout_fd_ >= 0) ::close(stdout_fd_);
}

bool ChildProcess::start(const std::vector<std::string>& argv, const ChildIo& io) {
  int err_pipe[2];
  int out_pipe[2] = {-1, -1};
  if (pipe(err_pipe) != 0) return false;
  if (io.stdout_path.empty() && pipe(out_pipe) != 0) return false;
  pid_ = fork();
  if (pid_ < 0) return false;
  if (pid_ == 0) {
    redirect(io.stdin_path, O_RDONLY, STDIN_FILENO);
    if (io.stdout_path.empty()) {
      dup2(out_pipe[1], STDOUT_FILENO);
    } else {
      redirect(io.stdout_path, O_WRONLY | O_CREAT | O_TRUNC, STDOUT_FILENO);
    }
    dup2(err_pipe[1], STDERR_FILENO);
    for (int fd : {err_pipe[0], err_pipe[1], out_pipe[0], out_pipe[1]}) {
      if (fd > STDERR_FILENO) ::close(fd);
    }
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  ::close(err_pipe[1]);
  stderr_fd_ = err_pipe[0];
  if (out_pipe[1] >= 0) {
    ::close(out_pipe[1]);
    stdout_fd_ = out_pipe[0];
    if (io.stdout_pipe_closed_early) {
      ::close(stdout_fd_);
      stdout_fd_ = -1;
    }
  }
  return true;
}

bool ChildProcess::read_available(int fd, std::string* into, int timeout_ms) {
  if (fd < 0) return false;
  pollfd entry{fd, POLLIN, 0};
  if (poll(&entry, 1, timeout_ms) <= 0) return false;
  char buffer[4096];
  const ssize_t got = ::read(fd, buffer, sizeof buffer);
  if (got <= 0) return false;
  into->append(buffer, static_cast<size_t>(got));
  return true;
}

std::string ChildProcess::wait_for_stderr_line(const std::string& needle, int timeout_ms) {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    size_t end;
    while ((end = stderr_.find('\n', stderr_scanned_)) != std::string::npos) {
      const std::string line = stderr_.substr(stderr_scanned_, end - stderr_scanned_);
      stderr_scanned_ = end + 1;
      if (line.find(needle) != std::string::npos) return line;
    }
    if (remaining_ms(deadline) == 0 ||
        !read_available(stderr_fd_, &stderr_, remaining_ms(deadline))) {
      return "";
    }
  }
}

int ChildProcess::wait_for_port(int timeout_ms) {
  const std::string line = wait_for_stderr_line("listening on port ", timeout_ms);
  const size_t at = line.find("port ");
  return at == std::string::npos ? 0 : std::atoi(line.c_str() + at + 5);
}

int ChildProcess::wait(int timeout_ms) {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    int status = 0;
    const pid_t done = waitpid(pid_, &status, WNOHANG);
    if (done == pid_) {
      exited_ = true;
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    if (remaining_ms(deadline) == 0) return -1;
    // Keep the stderr pipe drained so a chatty child never blocks on it.
    read_available(stderr_fd_, &stderr_, 10);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

void ChildProcess::signal(int signal_number) {
  if (pid_ > 0 && !exited_) kill(pid_, signal_number);
}

bool ChildProcess::end(int grace_ms) {
  if (pid_ <= 0 || exited_ || wait(grace_ms) >= 0) return true;
  kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
  exited_ = true;
  return false;
}

int64_t ChildProcess::status_kib(const char* name) const {
  std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
  std::string line;
  const std::string prefix = std::string(name) + ":";
  while (std::getline(status, line)) {
    if (line.compare(0, prefix.size(), prefix) == 0)
      return std::atoll(line.c_str() + prefix.size());
  }
  return -1;
}

const std::string& ChildProcess::stderr_text() {
  while (read_available(stderr_fd_, &stderr_, exited_ ? 100 : 0)) {
  }
  return stderr_;
}

std::string ChildProcess::read_stdout(int timeout_ms) {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  std::string out;
  while (remaining_ms(deadline) > 0 && read_available(stdout_fd_, &out, remaining_ms(deadline))) {
  }
  return out;
}

}  // namespace quorvel::testing
