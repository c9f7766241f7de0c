// Several clients at once: quorvel-serve --clients N (the plug-in's several-clients loop)
// over 127.0.0.1, serving the 1080p camera frame from a Y4M file as a real host renders
// each frame afresh, to bare clients on threads of this process:
//
// - four clients pulling disjoint quarters of a run of frames with LZO against one client
//   pulling them all, from the same server in turns: total frames/s, target >= 0.9 (the
//   host's pace is shared, not lost);
// - a client that stops reading for 5 s beside two pulling LZO frames: the longest gap
//   between their frames in that time, less their median frame time, in frame times,
//   target <= 2 (and, for orientation, the same without the stalled client);
// - a second client's stream information (its connect included) while another pulls raw
//   frames: the slowest of the answers, target <= 50 ms;
// - the growth of the server's anonymous memory with 8 clients pulling LZO frames against
//   8 times that with one client (each in a server of its own) plus 1 MiB: target <= 1.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/bare_client.h"
#include "bench/bench_frame.h"
#include "bench/connection.h"
#include "bench/interleaved_timer.h"
#include "bench/report_table.h"
#include "bench/sections.h"
#include "bench/server_process.h"
#include "client/client_socket.h"
#include "wire/compression_type.h"
#include "wire/protocol.h"

namespace quorvel::bench {

namespace {

// The Y4M holds this many copies of the frame; the stand-in host gives frame numbers past
// its end the last one, so clients may ask for any.
constexpr int kY4mFrames = 4;
constexpr char kTaskset[] = "/usr/bin/taskset";

struct Plan {
  int frames = 240;  // the throughput run's frames, split into quarters
  int rounds = 5;    // of one client, then four
  double stall_seconds = 5.0;
  int stalled_requests = 8;
  int probes = 20;         // stream-information requests
  int memory_frames = 60;  // each client's, in the memory run
};

Plan plan_for(const BenchContext& context) {
  Plan plan;
  if (context.quick) {
    plan.frames = 96;
    plan.rounds = 3;
  }
  if (context.smoke) plan = {8, 1, 0.3, 2, 3, 4};
  return plan;
}

// The 1080p camera frame, else (no real footage, or the smoke run) the first of the run.
const BenchFrame* clients_frame(const BenchContext& context) {
  for (const BenchFrame& frame : context.frames) {
    if (frame.name == "cam_1920x1080") return &frame;
  }
  return context.frames.empty() ? nullptr : &context.frames.front();
}

// The frame as kY4mFrames frames of planar 4:2:2 YUV4MPEG2, which quorvel-serve serves as
// it is; made once next to the frames.
bool write_y4m(const BenchFrame& frame, const std::string& path) {
  if (access(path.c_str(), R_OK) == 0) return true;
  const std::string partial = path + ".partial";
  std::FILE* file = std::fopen(partial.c_str(), "wb");
  if (file == nullptr) return false;
  const size_t pixels = static_cast<size_t>(frame.width) * static_cast<size_t>(frame.height);
  std::vector<uint8_t> planes(pixels * 2);
  for (size_t i = 0; i < pixels / 2; ++i) {  // Y0 U Y1 V
    planes[2 * i] = frame.bytes[4 * i];
    planes[2 * i + 1] = frame.bytes[4 * i + 2];
    planes[pixels + i] = frame.bytes[4 * i + 1];
    planes[pixels + pixels / 2 + i] = frame.bytes[4 * i + 3];
  }
  bool ok = std::fprintf(file, "YUV4MPEG2 W%d H%d F30000:1001 Ip A1:1 C422\n", frame.width,
                         frame.height) > 0;
  for (int n = 0; ok && n < kY4mFrames; ++n) {
    ok = std::fputs("FRAME\n", file) >= 0 &&
         std::fwrite(planes.data(), 1, planes.size(), file) == planes.size();
  }
  ok = std::fclose(file) == 0 && ok;
  return ok && std::rename(partial.c_str(), path.c_str()) == 0;
}

// quorvel-serve --clients N on a port of the system's choosing, on the server CPU.
std::unique_ptr<ServerProcess> start_serve(const BenchContext& context, const std::string& y4m,
                                           int clients) {
  std::vector<std::string> arguments = {
      QUORVEL_SERVE_PATH, "--input",      y4m, "--clients", std::to_string(clients), "--port",
      "127.0.0.1:0",      "--interlaced", "0", "--quiet"};
  std::string program = QUORVEL_SERVE_PATH;
  if (context.server_cpu >= 0 && access(kTaskset, X_OK) == 0) {
    program = kTaskset;
    arguments.insert(arguments.begin(), {"-c", std::to_string(context.server_cpu)});
  } else {
    arguments.erase(arguments.begin());
  }
  return std::make_unique<ServerProcess>(program, arguments);
}

// Clients on threads of their own, each connected and its codec chosen before the clock
// starts; then each runs `work` with its index. Seconds from the start to the last end, or
// -1 when a client failed.
double run_clients(uint16_t port, int clients, uint8_t mask,
                   const std::function<bool(BareClient&, int)>& work) {
  std::atomic<int> ready{0};
  std::atomic<bool> go{false};
  std::atomic<bool> failed{false};
  std::vector<std::thread> threads;
  for (int i = 0; i < clients; ++i) {
    threads.emplace_back([&, i] {
      BareClient client(port);
      const bool connected = client.connected() && (mask == 0 || client.set_compression(mask));
      ++ready;
      while (!go) std::this_thread::yield();
      if (!connected || !work(client, i)) failed = true;
      client.disconnect();
    });
  }
  while (ready < clients) std::this_thread::yield();
  const double start = now_seconds();
  go = true;
  for (std::thread& thread : threads) thread.join();
  const double seconds = now_seconds() - start;
  return failed ? -1.0 : seconds;
}

// Four quarters at once against one client pulling them all: the ratio of total frames/s.
ReportRow measure_throughput(const BenchContext& context, const std::string& y4m,
                             const BenchFrame& frame, const Plan& plan, bool* ok) {
  ReportRow row("4 clients LZO, quarters each / 1 client all", frame.name);
  const auto server = start_serve(context, y4m, 4);
  if (!server->started()) return row.with_note("n/a (quorvel-serve did not start)");
  std::vector<double> one_rates;
  std::vector<double> four_rates;
  const int quarter = plan.frames / 4;
  for (int round = 0; round < plan.rounds; ++round) {
    const double one = run_clients(server->port(), 1, kCompressionLzo, [&](BareClient& c, int) {
      for (int n = 0; n < plan.frames; ++n) {
        if (!c.get_frame(n)) return false;
      }
      return true;
    });
    const double four = run_clients(server->port(), 4, kCompressionLzo, [&](BareClient& c, int i) {
      for (int n = i * quarter; n < (i + 1) * quarter; ++n) {
        if (!c.get_frame(n)) return false;
      }
      return true;
    });
    if (one <= 0 || four <= 0) {
      server->interrupt();
      *ok = false;
      return row.with_note("failed (a frame did not arrive)");
    }
    one_rates.push_back(plan.frames / one);
    four_rates.push_back(4 * quarter / four);
  }
  server->interrupt();
  std::printf("throughput: 1 client %.1f frames/s, 4 clients together %.1f frames/s (medians)\n",
              median(one_rates), median(four_rates));
  row.seconds = 1.0 / median(four_rates);
  row.bytes = frame.size();
  return row.with_ratio(median_ratio(four_rates, one_rates), Target::at_least(0.9));
}

struct StallFigures {
  double worst = -1.0;      // the busy clients' longest gap in the window, less their frame
                            // time, in frame times; < 0 when a frame did not arrive
  double frame_time = 0.0;  // the slower busy client's median gap, seconds
};

// Two clients pull LZO frames for plan.stall_seconds and a while before and after; with a
// staller, a third asks for raw frames at the start of that window and reads nothing
// until its end.
StallFigures stall_run(const BenchContext& context, const std::string& y4m, const Plan& plan,
                       bool with_staller) {
  StallFigures figures;
  const auto server = start_serve(context, y4m, 4);
  if (!server->started()) return figures;
  const double lead = plan.stall_seconds / 5;  // busy before and after the window
  std::atomic<bool> stop{false};
  std::vector<std::vector<double>> arrivals(2);
  double window_start = 0.0;
  double window_end = 0.0;
  std::thread staller([&] {
    client::ClientSocket socket;
    std::string problem;
    socket.connect("127.0.0.1", std::to_string(server->port()), 0, &problem);
    uint8_t request[kHeaderSize + kGetFramePayloadMin];
    std::this_thread::sleep_for(std::chrono::duration<double>(lead));
    window_start = now_seconds();
    for (int n = 0; with_staller && n < plan.stalled_requests; ++n) {
      socket.send_all(request, static_cast<uint64_t>(write_get_frame(request, n)));
    }
    std::this_thread::sleep_for(std::chrono::duration<double>(plan.stall_seconds));
    window_end = now_seconds();
    std::vector<uint8_t> reply;
    for (int n = 0; with_staller && n < plan.stalled_requests; ++n) {
      uint8_t header[kHeaderSize];
      if (socket.receive_exactly(header, kHeaderSize) != client::IoResult::kOk) break;
      reply.resize(static_cast<size_t>(read_header(header).length - 1));
      if (socket.receive_exactly(reply.data(), reply.size()) != client::IoResult::kOk) break;
    }
    std::this_thread::sleep_for(std::chrono::duration<double>(lead));
    stop = true;
  });
  const double seconds = run_clients(server->port(), 2, kCompressionLzo, [&](BareClient& c, int i) {
    for (int n = 0; !stop; ++n) {
      if (!c.get_frame(n)) return false;
      arrivals[static_cast<size_t>(i)].push_back(now_seconds());
    }
    return true;
  });
  staller.join();
  server->interrupt();
  if (seconds <= 0) return figures;
  figures.worst = 0.0;
  for (const std::vector<double>& times : arrivals) {
    std::vector<double> gaps;
    double longest = 0.0;
    for (size_t k = 1; k < times.size(); ++k) {
      gaps.push_back(times[k] - times[k - 1]);
      if (times[k] > window_start && times[k - 1] < window_end) {
        longest = std::max(longest, times[k] - times[k - 1]);
      }
    }
    if (gaps.empty()) continue;
    const double usual = median(gaps);
    figures.worst = std::max(figures.worst, std::max(0.0, longest - usual) / usual);
    figures.frame_time = std::max(figures.frame_time, usual);
  }
  return figures;
}

// How much longer than their usual frame time the busy clients' longest gap was while a
// client stopped reading, against the same run without it (the machine's own hiccups).
ReportRow measure_stall(const BenchContext& context, const std::string& y4m,
                        const BenchFrame& frame, const Plan& plan, bool* ok) {
  ReportRow row("client stalled 5 s: others' worst delay", frame.name);
  const StallFigures stalled = stall_run(context, y4m, plan, true);
  const StallFigures control = stall_run(context, y4m, plan, false);
  if (stalled.worst < 0 || control.worst < 0) {
    *ok = false;
    return row.with_note("failed (a frame did not arrive)");
  }
  std::printf(
      "stall: the busy clients' frame time %.2f ms, their worst delay %.2f frame times "
      "(%.2f in the same time without the stalled client)\n",
      stalled.frame_time * 1e3, stalled.worst, control.worst);
  row.seconds = stalled.frame_time;
  row.detail = "without: " + std::to_string(control.worst).substr(0, 4);
  return row.with_ratio(stalled.worst, Target::at_most(2.0));
}

// New clients' stream-information requests, connect included, while another pulls raw
// frames: the slowest answer in ms.
ReportRow measure_stream_info(const BenchContext& context, const std::string& y4m,
                              const BenchFrame& frame, const Plan& plan, bool* ok) {
  ReportRow row("stream info beside a raw puller: slowest, ms", frame.name);
  const auto server = start_serve(context, y4m, 4);
  if (!server->started()) return row.with_note("n/a (quorvel-serve did not start)");
  std::atomic<bool> stop{false};
  std::vector<double> answers;
  bool answered = true;
  std::thread prober([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    for (int i = 0; i < plan.probes && answered; ++i) {
      const double start = now_seconds();
      BareClient probe(server->port());
      answered = probe.connected() && probe.get_stream_info();
      answers.push_back(now_seconds() - start);
      probe.disconnect();
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    stop = true;
  });
  const double seconds = run_clients(server->port(), 1, 0, [&](BareClient& c, int) {
    for (int n = 0; !stop; ++n) {
      if (!c.get_frame(n)) return false;
    }
    return true;
  });
  prober.join();
  server->interrupt();
  if (seconds <= 0 || !answered || answers.empty()) {
    *ok = false;
    return row.with_note("failed (a reply did not arrive)");
  }
  const double slowest = *std::max_element(answers.begin(), answers.end());
  std::printf("stream info beside raw frames: median %.2f ms, slowest %.2f ms of %zu\n",
              median(answers) * 1e3, slowest * 1e3, answers.size());
  row.seconds = slowest;
  return row.with_ratio(slowest * 1e3, Target::at_most(50.0));
}

// The growth of the server's anonymous memory (KiB) while `clients` clients pull LZO frames,
// from when they are connected with their stream information to when they are done.
int64_t memory_growth(const BenchContext& context, const std::string& y4m, int clients,
                      const Plan& plan) {
  const auto server = start_serve(context, y4m, 8);
  if (!server->started()) return -1;
  std::vector<std::unique_ptr<BareClient>> connected;
  for (int i = 0; i < clients; ++i) {
    connected.push_back(std::make_unique<BareClient>(server->port()));
    if (!connected.back()->connected() || !connected.back()->get_stream_info()) {
      server->interrupt();
      return -1;
    }
  }
  const int64_t before = server->status_kib("RssAnon");
  std::atomic<bool> failed{false};
  std::vector<std::thread> threads;
  for (int i = 0; i < clients; ++i) {
    threads.emplace_back([&, i] {
      BareClient& client = *connected[static_cast<size_t>(i)];
      bool ok = client.set_compression(kCompressionLzo);
      for (int n = 0; ok && n < plan.memory_frames; ++n) ok = client.get_frame(n);
      if (!ok) failed = true;
    });
  }
  for (std::thread& thread : threads) thread.join();
  const int64_t after = server->status_kib("RssAnon");
  std::printf(
      "memory: %d client%s, anonymous RSS %lld KiB before, %lld KiB after, VmRSS %lld KiB\n",
      clients, clients == 1 ? "" : "s", static_cast<long long>(before),
      static_cast<long long>(after), static_cast<long long>(server->status_kib("VmRSS")));
  for (auto& client : connected) client->disconnect();
  server->interrupt();
  return failed || before < 0 || after < 0 ? -1 : after - before;
}

ReportRow measure_memory(const BenchContext& context, const std::string& y4m,
                         const BenchFrame& frame, const Plan& plan, bool* ok) {
  ReportRow row("server memory, 8 clients / (8 x 1 client + 1 MiB)", frame.name);
  const int64_t one = memory_growth(context, y4m, 1, plan);
  const int64_t eight = memory_growth(context, y4m, 8, plan);
  if (one < 0 || eight < 0) {
    *ok = false;
    return row.with_note("failed (a frame did not arrive, or no /proc status)");
  }
  std::printf("memory: growth with 1 client %lld KiB, with 8 clients %lld KiB\n",
              static_cast<long long>(one), static_cast<long long>(eight));
  return row.with_ratio(static_cast<double>(eight) / static_cast<double>(8 * one + 1024),
                        Target::at_most(1.0));
}

}  // namespace

bool run_clients_section(const BenchContext& context) {
  const BenchFrame* frame = clients_frame(context);
  if (frame == nullptr) {
    std::printf("\n== Several clients: n/a (no frame to serve)\n");
    return true;
  }
  mkdir(context.frames_dir.c_str(), 0755);  // the smoke run's synthetic frame needs no folder
  const std::string y4m = context.frames_dir + "/clients_" + frame->name + ".y4m";
  if (!write_y4m(*frame, y4m)) {
    std::fprintf(stderr, "quorvel-bench: clients: cannot write %s\n", y4m.c_str());
    return false;
  }
  const Plan plan = plan_for(context);
  ReportTable table("Several clients: quorvel-serve --clients over 127.0.0.1", "as each row says");
  bool ok = true;
  std::vector<ReportRow> rows = {measure_throughput(context, y4m, *frame, plan, &ok),
                                 measure_stall(context, y4m, *frame, plan, &ok),
                                 measure_stream_info(context, y4m, *frame, plan, &ok),
                                 measure_memory(context, y4m, *frame, plan, &ok)};
  for (ReportRow& row : rows) {
    // Targets are judged on the 1080p frame; a smoke run only checks that replies come.
    if (!frame->is_1080p() || context.smoke) row.target = Target::none();
    table.add(row);
  }
  table.print();
  return ok;
}

}  // namespace quorvel::bench
