// quorvel-soak: many requests through a real loopback socket, from the client library to a
// frame server. Frames in order, at random and repeated, audio ranges, a codec switch every
// few hundred requests. The server's VmRSS is read from /proc at 1,000 requests and at the
// end and must not grow by more than a small allowance.
//
//   quorvel-soak <quorvel-serve> <requests per run> [wrapper...]
//       runs quorvel-serve as a child twice, once with read-ahead on and once with it off.
//       A wrapper (valgrind --error-exitcode=99 ...) is put in front of the server's command
//       line; the run then fails when the server exits with anything but 0.
//   quorvel-soak --attach <port> <server pid> <requests> <seed> [conversations]
//       soaks one server that is already listening on 127.0.0.1 (quorvel.auo under Wine,
//       whose Windows process is a Linux process with its own /proc entry). A server that
//       keeps waiting for the next client takes several conversations back to back, each
//       of <requests>; its RSS must then also stay flat from the first to the last.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "client/delivery_client.h"

namespace {

using quorvel::client::DeliveryClient;

constexpr int kFrames = 120;
constexpr int kSwitchEvery = 300;
constexpr int kFirstSample = 1000;
// Between two conversations the server closes the connection and listens anew.
constexpr int kReconnectAttempts = 100;
constexpr int kReconnectWaitMs = 50;
// RSS may move by a few pages (allocator arenas, socket buffers), not with the request count.
constexpr long kRssAllowanceKb = 2048;
// A quorvel-serve child comes from the same build as this program, sanitizers and all.
#ifdef QUORVEL_SOAK_SANITIZED
constexpr bool kJudgeRss = false;
#else
constexpr bool kJudgeRss = true;
#endif

struct Server {
  pid_t pid = -1;
  std::string port;
};

// Starts the server on port 0 and reads the port from its "listening on port N" line.
bool start_server(const std::vector<std::string>& command, Server* server) {
  int pipe_fds[2];
  if (pipe(pipe_fds) != 0) return false;
  const pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    dup2(pipe_fds[1], STDERR_FILENO);
    close(pipe_fds[0]);
    close(pipe_fds[1]);
    std::vector<char*> argv;
    for (const std::string& arg : command) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  close(pipe_fds[1]);
  server->pid = pid;
  FILE* err = fdopen(pipe_fds[0], "r");
  char line[512];
  while (err != nullptr && std::fgets(line, sizeof line, err) != nullptr) {
    std::fputs(line, stderr);
    const char* found = std::strstr(line, "listening on port ");
    if (found != nullptr) {
      server->port = std::to_string(std::atoi(found + std::strlen("listening on port ")));
      // Keep draining the server's stderr (valgrind's report) to ours in a child.
      if (fork() == 0) {
        while (std::fgets(line, sizeof line, err) != nullptr) std::fputs(line, stderr);
        _exit(0);
      }
      std::fclose(err);
      return true;
    }
  }
  if (err != nullptr) std::fclose(err);
  return false;
}

long rss_kb(pid_t pid, const char* field) {
  const std::string path = "/proc/" + std::to_string(pid) + "/status";
  FILE* status = std::fopen(path.c_str(), "r");
  if (status == nullptr) return -1;
  char line[256];
  long value = -1;
  const size_t length = std::strlen(field);
  while (std::fgets(line, sizeof line, status) != nullptr) {
    if (std::strncmp(line, field, length) == 0) value = std::atol(line + length + 1);
  }
  std::fclose(status);
  return value;
}

bool fail(const char* what, const DeliveryClient& client) {
  std::fprintf(stderr, "quorvel-soak: %s failed: %s\n", what, client.error().c_str());
  return false;
}

// One request of the mix; `i` is the request's index in the run.
bool one_request(DeliveryClient& client, std::mt19937& rng, int i, int32_t* next_frame,
                 int32_t* last_frame) {
  static const uint8_t kMasks[] = {1, 2, 4, 0, 7, 3, 6, 0xF9};
  std::vector<uint8_t> bytes;
  if (i % kSwitchEvery == kSwitchEvery - 1) {
    if (!client.set_compression(kMasks[(i / kSwitchEvery) % sizeof kMasks])) {
      return fail("SetCompression", client);
    }
    return true;
  }
  const auto kind = rng() % 10;
  if (kind < 4) {  // in order
    *last_frame = *next_frame;
    *next_frame = (*next_frame + 1) % kFrames;
  } else if (kind < 6) {  // at random
    *last_frame = static_cast<int32_t>(rng() % kFrames);
    *next_frame = (*last_frame + 1) % kFrames;
  } else if (kind < 8) {  // the same again
  } else {
    const int64_t first = kFirstSample + static_cast<int64_t>(rng() % 200000);
    const int64_t count = 1 + static_cast<int64_t>(rng() % 4800);
    if (!client.get_audio(first, count, &bytes)) return fail("GetAudio", client);
    if (bytes.size() != static_cast<size_t>(count) * 4) {
      std::fprintf(stderr, "quorvel-soak: audio of %zu bytes for %lld samples\n", bytes.size(),
                   static_cast<long long>(count));
      return false;
    }
    return true;
  }
  if (!client.get_frame(*last_frame, &bytes)) return fail("GetFrame", client);
  return true;
}

struct SoakResult {
  bool requests_ok = false;
  long rss_at_1k = -1;
  long rss_at_end = -1;
  long hwm = -1;
  uint64_t bytes_received = 0;
};

// A later conversation may find the server still between its listeners: try again a while.
bool connect_when_listening(DeliveryClient& client, const std::string& port, int attempts) {
  for (int attempt = 1;; ++attempt) {
    if (client.connect("127.0.0.1", port, 60000)) return true;
    if (attempt >= attempts) return false;
    usleep(kReconnectWaitMs * 1000);
  }
}

// Connects, asks for the stream info, then sends `requests` requests of the mix and
// disconnects. RSS figures are those of server_pid.
SoakResult soak_connection(const std::string& port, pid_t server_pid, int requests, unsigned seed,
                           int connect_attempts = 1) {
  SoakResult result;
  DeliveryClient client;
  bool ok = connect_when_listening(client, port, connect_attempts);
  quorvel::StreamInfoRecord info;
  ok = ok && client.get_stream_info(&info);
  if (!ok) fail("connect or GetStreamInfo", client);
  std::mt19937 rng(seed);
  int32_t next_frame = 0;
  int32_t last_frame = 0;
  for (int i = 0; ok && i < requests; ++i) {
    ok = one_request(client, rng, i, &next_frame, &last_frame);
    if (i + 1 == 1000) result.rss_at_1k = rss_kb(server_pid, "VmRSS");
  }
  result.rss_at_end = rss_kb(server_pid, "VmRSS");
  result.hwm = rss_kb(server_pid, "VmHWM");
  result.requests_ok = client.disconnect() && ok;
  result.bytes_received = client.bytes_received();
  return result;
}

bool rss_flat(const SoakResult& result) {
  const bool flat = result.rss_at_1k < 0 || result.rss_at_end - result.rss_at_1k <= kRssAllowanceKb;
  if (!flat) std::fprintf(stderr, "quorvel-soak: the server's RSS grew\n");
  return flat;
}

void print_result(const char* label, int requests, const SoakResult& result) {
  std::printf(
      "%s: %d requests, %llu bytes received; server VmRSS %ld kB at 1k, "
      "%ld kB at the end, VmHWM %ld kB\n",
      label, requests, static_cast<unsigned long long>(result.bytes_received), result.rss_at_1k,
      result.rss_at_end, result.hwm);
}

bool soak_child(const std::string& serve, int requests, bool read_ahead,
                const std::vector<std::string>& wrapper, unsigned seed) {
  std::vector<std::string> command = wrapper;
  command.push_back(serve);
  for (const char* arg : {"--quiet", "--port=0", "--size=320x240", "--once"}) {
    command.push_back(arg);
  }
  command.push_back("--frames=" + std::to_string(kFrames));
  command.push_back(std::string("--read-ahead=") + (read_ahead ? "1" : "0"));
  Server server;
  if (!start_server(command, &server)) {
    std::fprintf(stderr, "quorvel-soak: the server did not start\n");
    return false;
  }
  const SoakResult result = soak_connection(server.port, server.pid, requests, seed);
  int status = 0;
  waitpid(server.pid, &status, 0);
  const bool exited_cleanly = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  print_result(read_ahead ? "read-ahead on" : "read-ahead off", requests, result);
  if (!exited_cleanly) std::fprintf(stderr, "quorvel-soak: the server did not exit with 0\n");
  // Under a wrapper the figures are the wrapper's, and a sanitized server keeps freed
  // blocks in quarantine; only an unwrapped run of a plain build judges them.
  const bool flat = !kJudgeRss || !wrapper.empty() || rss_flat(result);
  return result.requests_ok && exited_cleanly && flat;
}

int usage() {
  std::fprintf(stderr,
               "usage: quorvel-soak <quorvel-serve> <requests per run> [wrapper...]\n"
               "       quorvel-soak --attach <port> <server pid> <requests> <seed> "
               "[conversations]\n");
  return 2;
}

// Conversations back to back with one attached server, each with a seed of its own. Each
// must keep the RSS flat, and the last must end within the allowance of the first's figure
// at 1,000 requests: memory a conversation leaves behind would add up across them.
int soak_attached(const std::string& port, pid_t server_pid, int requests, unsigned seed,
                  int conversations) {
  bool ok = true;
  long first_rss_at_1k = -1;
  SoakResult last;
  for (int i = 0; i < conversations; ++i) {
    last = soak_connection(port, server_pid, requests, seed + static_cast<unsigned>(i),
                           i == 0 ? 1 : kReconnectAttempts);
    const std::string label = "attached, conversation " + std::to_string(i + 1);
    print_result(label.c_str(), requests, last);
    if (i == 0) first_rss_at_1k = last.rss_at_1k;
    // The caller named the server's process, so its RSS must be readable to be judged.
    const bool measured = requests < 1000 || (last.rss_at_1k >= 0 && last.rss_at_end >= 0);
    if (!measured) std::fprintf(stderr, "quorvel-soak: no VmRSS for pid %d\n", int{server_pid});
    ok = last.requests_ok && measured && rss_flat(last) && ok;
    if (!last.requests_ok) break;
  }
  SoakResult across;
  across.rss_at_1k = first_rss_at_1k;
  across.rss_at_end = last.rss_at_end;
  if (conversations > 1 && !rss_flat(across)) {
    std::fprintf(stderr, "quorvel-soak: from the first conversation to the last\n");
    ok = false;
  }
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return usage();
  signal(SIGPIPE, SIG_IGN);
  if (std::strcmp(argv[1], "--attach") == 0) {
    if (argc != 6 && argc != 7) return usage();
    const int conversations = argc == 7 ? std::atoi(argv[6]) : 1;
    if (conversations < 1) return usage();
    return soak_attached(argv[2], static_cast<pid_t>(std::atol(argv[3])), std::atoi(argv[4]),
                         static_cast<unsigned>(std::atol(argv[5])), conversations);
  }
  const std::string serve = argv[1];
  const int requests = std::atoi(argv[2]);
  const std::vector<std::string> wrapper(argv + 3, argv + argc);
  const bool on = soak_child(serve, requests, true, wrapper, 1);
  const bool off = soak_child(serve, requests, false, wrapper, 2);
  return on && off ? 0 : 1;
}
