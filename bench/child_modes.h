// The server roles that quorvel-bench starts itself in (--child MODE), each in a process of
// its own: the session (run_server with the stand-in host), the bare sender that sends the
// same frame replies with no session around them, and the 5-byte ping-pong.
#ifndef QUORVEL_BENCH_CHILD_MODES_H_
#define QUORVEL_BENCH_CHILD_MODES_H_

#include <cstdint>
#include <string>
#include <vector>

namespace quorvel::bench {

struct ChildOptions {
  std::string mode;  // "session", "bare" or "ping"
  std::string frame;
  std::string frames_dir;
  bool read_ahead = true;
  bool copy_each_frame = true;
  int32_t compression = 0;  // bare sender: the codec whose payload it sends
  int cpu = -1;             // the CPU to run on; -1 leaves the process where it is

  // The command-line arguments that start this role.
  std::vector<std::string> arguments() const;
};

// Prints the listening port on stdout, serves one client, returns the exit code.
int run_child(const ChildOptions& options);

// Messages of the bare client and the bare sender: a GetFrame request is this many bytes.
constexpr int kGetFrameRequestSize = 9;

}  // namespace quorvel::bench

#endif  // QUORVEL_BENCH_CHILD_MODES_H_
