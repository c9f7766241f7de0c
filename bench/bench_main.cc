// quorvel-bench: every stage of serving a frame against its limit, side by side in one run.
//
//   quorvel-bench [--quick] [--frames-dir DIR] [--section NAME]...
//
// Frames come from scripts/make-bench-frames.sh (real footage) and are made here
// (synthetic). --quick finishes in under a minute on two cores; --smoke runs every section
// once on tiny frames and fails only when a result is wrong, never because of a speed.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_context.h"
#include "bench/child_modes.h"
#include "bench/cpu_placement.h"
#include "bench/interleaved_timer.h"
#include "bench/machine_info.h"
#include "bench/report_table.h"
#include "bench/sections.h"

#ifndef QUORVEL_BENCH_FRAMES_DIR
#define QUORVEL_BENCH_FRAMES_DIR "bench-frames"
#endif

namespace quorvel::bench {

namespace {

struct Section {
  const char* name;
  bool (*run)(const BenchContext&);
};

const Section kSections[] = {
    {"delta", run_delta_section},       {"lzo", run_lzo_section},
    {"deflate", run_deflate_section},   {"fano", run_fano_section},
    {"loopback", run_loopback_section}, {"fetch", run_fetch_section},
    {"rtt", run_round_trip_section},    {"memory", run_memory_section},
    {"plugin", run_plugin_section},     {"clients", run_clients_section},
};

std::string self_path(const char* argv0) {
  char path[4096];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return argv0;
  return std::string(path, static_cast<size_t>(length));
}

bool wanted(const std::vector<std::string>& sections, const char* name) {
  if (sections.empty()) return true;
  for (const std::string& section : sections) {
    if (section == name) return true;
  }
  return false;
}

}  // namespace

int bench_main(int argc, char** argv) {
  CLI::App app{"quorvel-bench: codecs and serving against their limits, side by side"};
  BenchContext context;
  context.frames_dir = QUORVEL_BENCH_FRAMES_DIR;
  std::vector<std::string> sections;
  std::vector<std::string> frames;
  ChildOptions child;
  app.add_flag("--quick", context.quick, "a shorter run, under a minute on two cores");
  app.add_flag("--smoke", context.smoke, "every section once on tiny frames; checks results only");
  app.add_option("--frames-dir", context.frames_dir, "where make-bench-frames.sh put the frames");
  app.add_option("--section", sections,
                 "run only these: delta lzo deflate fano loopback fetch rtt memory plugin clients");
  app.add_option("--plugin", context.plugin_path, "quorvel.auo, for the plugin section");
  app.add_option("--harness", context.harness_path,
                 "the 32-bit host harness (quorvel-host-harness.exe), for the plugin section");
  app.add_option("--wine", context.wine_path, "wine, for the plugin section");
  app.add_option("--frame", frames,
                 "measure these frames instead of the table (e.g. noise_1920x1080)");
  app.add_option("--child", child.mode)->group("");
  app.add_option("--frame-name", child.frame)->group("");
  app.add_option("--read-ahead", child.read_ahead)->group("");
  app.add_option("--host-copies", child.copy_each_frame)->group("");
  app.add_option("--compression", child.compression)->group("");
  app.add_option("--cpu", child.cpu)->group("");
  CLI11_PARSE(app, argc, argv);

  if (!child.mode.empty()) {
    child.frames_dir = context.frames_dir;
    return run_child(child);
  }
  context.self_path = self_path(argv[0]);
  const CpuPlan cpus = plan_cpus();
  context.server_cpu = cpus.server;
  print_machine_info();
  print_load_average("at the start");
  if (pin_to_cpu(cpus.client)) {
    std::printf("client and codec timings pinned to CPU %d, server processes to CPU %d\n",
                cpus.client, cpus.server);
  }
  if (frames.empty()) {
    frames = context.smoke ? std::vector<std::string>{"gradient_320x240", "noise_320x240"}
                           : frame_names(context.quick);
  }
  context.frames = load_frames(frames, context.frames_dir);
  std::printf("mode: %s\n", context.smoke ? "smoke" : context.quick ? "quick" : "full");

  bool ok = true;
  for (const Section& section : kSections) {
    if (!wanted(sections, section.name)) continue;
    const double start = now_seconds();
    ok = section.run(context) && ok;
    std::printf("(section %s: %.1f s)\n", section.name, now_seconds() - start);
  }
  ReportTable::print_summary();
  print_load_average("at the end");
  return ok ? 0 : 1;
}

}  // namespace quorvel::bench

int main(int argc, char** argv) {
  return quorvel::bench::bench_main(argc, argv);
}
