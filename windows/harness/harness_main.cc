// quorvel-host-harness: a 32-bit program that does what the host does with quorvel.auo.
//
//   quorvel-host-harness table PLUGIN          table bytes and settings edge cases
//   quorvel-host-harness serve PLUGIN [opts]   serve the test stream to one client (or, with
//       --keep-waiting 1, to clients in a row until --stop-file appears)
//   quorvel-host-harness serve-frames PLUGIN --frame-file F --width W --height H [opts]
//       the benchmark's host: one frame of a file for every frame number, to one client
//   quorvel-host-harness keep-waiting PLUGIN [opts]  three clients in a row with the
//       keep-waiting setting, then the host aborts
//   quorvel-host-harness serve-once PLUGIN [opts]    three clients in a row without it: only
//       the first is served
//   quorvel-host-harness clients-at-once PLUGIN [opts]  two clients at once with the
//       several-clients setting, served to the end, then the host aborts
//   quorvel-host-harness abort-waiting PLUGIN  abort while no client has come
//   quorvel-host-harness port-taken PLUGIN     the configured port is in use
//   quorvel-host-harness stalled-client PLUGIN abort while a client has stopped reading
//   quorvel-host-harness configure PLUGIN [--port T --interlaced 0|1 --keep-waiting 0|1
//       --several-clients 0|1 ...]
//       opens the settings dialog through the configure slot, then prints its result, the
//       settings read back through get-settings, and whether the block changed at all
//
// Output is ASCII; every mode but configure ends with "N passed, N failed".
#include <cstdio>
#include <cstring>
#include <string>

#include "check_log.h"
#include "options.h"
#include "output_runs.h"
#include "plugin_module.h"
#include "settings_block.h"
#include "table_check.h"

namespace {

int usage() {
  std::fprintf(stderr,
               "usage: quorvel-host-harness "
               "table|serve|serve-frames|keep-waiting|serve-once|clients-at-once|abort-waiting|"
               "port-taken|"
               "stalled-client|configure "
               "PLUGIN [--name value ...]\n");
  return 2;
}

int run_configure(const harness::PluginModule& module, const harness::Options& options) {
  harness::SettingsBlock block;
  module.get_settings()(block.bytes);
  if (options.has("port")) block.set_port_text(options.text("port", ""));
  block.set_flag(harness::kInterlacedFlag,
                 static_cast<int32_t>(options.number("interlaced", block.flag(0))));
  block.set_flag(harness::kTopFieldFirstFlag,
                 static_cast<int32_t>(options.number("top-field-first", block.flag(1))));
  block.set_flag(harness::kReadAheadFlag,
                 static_cast<int32_t>(options.number("read-ahead", block.flag(2))));
  block.set_keep_waiting(
      static_cast<uint8_t>(options.number("keep-waiting", block.keep_waiting())));
  block.set_several_clients(
      static_cast<uint8_t>(options.number("several-clients", block.several_clients())));
  module.set_settings()(block.bytes, harness::kSettingsSize);

  const int32_t result = module.configure()(nullptr, module.instance());
  harness::SettingsBlock after;
  module.get_settings()(after.bytes);

  std::printf("result=%d\n", result);
  after.print(stdout);
  std::printf("block_unchanged=%d\n",
              std::memcmp(block.bytes, after.bytes, harness::kSettingsSize) == 0 ? 1 : 0);
  std::fflush(stdout);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return usage();
  const std::string mode = argv[1];
  const harness::Options options(argc, argv, 3);
  if (!options.valid()) return usage();

  harness::PluginModule module(argv[2]);
  harness::CheckLog log;
  if (!log.expect(module.loaded(), "LoadLibrary and GetProcAddress(\"GetOutputPluginTable\")"))
    return log.finish();

  if (mode == "table") {
    harness::check_table(module, &log);
    harness::check_settings(module, &log);
  } else if (mode == "serve") {
    harness::run_serve(module, options, &log);
  } else if (mode == "serve-frames") {
    harness::run_serve_frames(module, options, &log);
  } else if (mode == "keep-waiting" || mode == "serve-once") {
    harness::run_clients_in_a_row(module, options, mode == "keep-waiting", &log);
  } else if (mode == "clients-at-once") {
    harness::run_clients_at_once(module, options, &log);
  } else if (mode == "abort-waiting") {
    harness::run_abort_waiting(module, &log);
  } else if (mode == "port-taken") {
    harness::run_port_taken(module, &log);
  } else if (mode == "stalled-client") {
    harness::run_stalled_client(module, &log);
  } else if (mode == "configure") {
    return run_configure(module, options);
  } else {
    return usage();
  }
  return log.finish();
}
