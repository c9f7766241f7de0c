// quorvel-codec-bench: the codec sections of quorvel-bench alone, for the 32-bit Windows
// build, where they measure the code the DLL ships (its flags, miniLZO, the static zlib)
// under Wine. The loopback sections need the Linux stand-ins and stay in quorvel-bench.
//
//   quorvel-codec-bench.exe [--quick] [--frames-dir DIR] [--frame NAME]... [--section NAME]...
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/bench_context.h"
#include "bench/machine_info.h"
#include "bench/report_table.h"
#include "bench/sections.h"

#ifndef QUORVEL_BENCH_FRAMES_DIR
#define QUORVEL_BENCH_FRAMES_DIR "bench-frames"
#endif

int main(int argc, char** argv) {
  using namespace quorvel::bench;
  BenchContext context;
  context.frames_dir = QUORVEL_BENCH_FRAMES_DIR;
  std::vector<std::string> frames;
  std::vector<std::string> sections;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--quick") {
      context.quick = true;
    } else if (argument == "--smoke") {
      context.smoke = true;
    } else if ((argument == "--frames-dir" || argument == "--frame") && i + 1 < argc) {
      (argument == "--frame" ? frames.emplace_back() : context.frames_dir) = argv[++i];
    } else if (argument == "--section" && i + 1 < argc) {
      sections.emplace_back(argv[++i]);
    } else {
      std::fprintf(stderr,
                   "usage: quorvel-codec-bench [--quick] [--smoke] [--frames-dir DIR] "
                   "[--frame NAME]... [--section delta|lzo|deflate|fano]...\n");
      return 2;
    }
  }
  print_machine_info();
  print_load_average("at the start");
  if (frames.empty())
    frames = context.smoke ? std::vector<std::string>{"gradient_320x240"} : frame_names(true);
  context.frames = load_frames(frames, context.frames_dir);
  struct Section {
    const char* name;
    bool (*run)(const BenchContext&);
  };
  const Section all[] = {{"delta", run_delta_section},
                         {"lzo", run_lzo_section},
                         {"deflate", run_deflate_section},
                         {"fano", run_fano_section}};
  bool ok = true;
  for (const Section& section : all) {
    bool wanted = sections.empty();
    for (const std::string& name : sections) wanted = wanted || name == section.name;
    if (wanted) ok = section.run(context) && ok;
  }
  ReportTable::print_summary();
  print_load_average("at the end");
  return ok ? 0 : 1;
}
