#include "bench/server_process.h"

#include <cstdio>

namespace quorvel::bench {

namespace {

constexpr int kExitWaitMs = 5000;

}  // namespace

ServerProcess::ServerProcess(const std::string& program, const std::vector<std::string>& arguments,
                             int start_ms) {
  std::vector<std::string> argv = {program};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  testing::ChildIo io;
  io.stdout_path = "/dev/null";
  if (!process_.start(argv, io)) return;
  const int port = process_.wait_for_port(start_ms);
  if (port > 0 && port < 65536) port_ = static_cast<uint16_t>(port);
}

ServerProcess::~ServerProcess() {
  if (!process_.end(kExitWaitMs)) {
    std::fprintf(stderr, "quorvel-bench: server process %d did not end; stopped it\n",
                 static_cast<int>(process_.pid()));
  }
}

}  // namespace quorvel::bench
