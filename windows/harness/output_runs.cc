#include "output_runs.h"

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "concurrent_clients.h"
#include "port_holder.h"
#include "sequence_client.h"
#include "settings_block.h"
#include "stalled_client.h"
#include "test_host.h"
#include "test_stream.h"

namespace harness {

namespace {

// Another program may take the free port between the harness's look and the plug-in's bind;
// the plug-in then returns without ever polling, and the harness tries another port.
constexpr int kPortAttempts = 5;

StreamShape shape_from(const Options& options) {
  StreamShape shape;
  shape.width = static_cast<int32_t>(options.number("width", shape.width));
  shape.height = static_cast<int32_t>(options.number("height", shape.height));
  shape.frame_count = static_cast<int32_t>(options.number("frames", shape.frame_count));
  shape.audio_rate = static_cast<int32_t>(options.number("audio-rate", shape.audio_rate));
  shape.channels = static_cast<int32_t>(options.number("channels", shape.channels));
  shape.audio_samples = static_cast<uint32_t>(options.number("audio-samples", shape.audio_samples));
  return shape;
}

void apply_settings(const PluginModule& module, const std::string& port_text,
                    const Options& options) {
  SettingsBlock block;
  block.set_port_text(port_text);
  block.set_keep_waiting(static_cast<uint8_t>(options.number("keep-waiting", 0)));
  block.set_flag(kInterlacedFlag, static_cast<int32_t>(options.number("interlaced", 1)));
  block.set_flag(kTopFieldFirstFlag, static_cast<int32_t>(options.number("top-field-first", 1)));
  block.set_flag(kReadAheadFlag, static_cast<int32_t>(options.number("read-ahead", 1)));
  module.set_settings()(block.bytes, kSettingsSize);
}

// A free port for a run with clients of the harness's own, in *behaviour, and the settings
// for it: the keep-waiting and several-clients flags as given, interlaced, top field first
// and read-ahead on. False when no free port was found.
bool prepare_clients_run(const PluginModule& module, bool keep_waiting, bool several_clients,
                         HostBehaviour* behaviour, CheckLog* log) {
  behaviour->deadline_ms = 60000;
  {
    PortHolder probe;
    behaviour->port = probe.port();
  }
  if (!log->expect(behaviour->port != 0, "a free port was found")) return false;
  SettingsBlock block;
  block.set_port_text(std::to_string(behaviour->port));
  block.set_keep_waiting(keep_waiting ? 1 : 0);
  block.set_several_clients(several_clients ? 1 : 0);
  block.set_flag(kInterlacedFlag, 1);
  block.set_flag(kTopFieldFirstFlag, 1);
  block.set_flag(kReadAheadFlag, 1);
  module.set_settings()(block.bytes, kSettingsSize);
  return true;
}

void check_callbacks(const TestHost& host, CheckLog* log) {
  const HostCalls& calls = host.calls();
  log->expect(host.record_unchanged(), "the plug-in leaves the host record as it was");
  log->expect(!calls.wrong_format, "every frame is asked for in YUY2");
  log->expect(!calls.wrong_progress_total, "show_progress gets the frame count");
  log->expect(!calls.notify_without_frame, "notify_frame follows a frame fetch");
}

}  // namespace

void run_serve(const PluginModule& module, const Options& options, CheckLog* log) {
  const StreamShape shape = shape_from(options);
  const std::string video = options.text("expect-video", "");
  const std::string audio = options.text("expect-audio", "");
  if (!video.empty())
    log->expect(write_expected_video(video.c_str(), shape), "expected video written");
  if (!audio.empty())
    log->expect(write_expected_audio(audio.c_str(), shape), "expected audio written");

  for (int attempt = 1; attempt <= kPortAttempts; ++attempt) {
    HostBehaviour behaviour;
    behaviour.port_file = options.text("port-file", "");
    behaviour.stop_file = options.text("stop-file", "");
    behaviour.deadline_ms = static_cast<uint32_t>(options.number("deadline-ms", 60000));
    {
      PortHolder probe;
      behaviour.port = probe.port();
    }
    if (!log->expect(behaviour.port != 0, "a free port was found")) return;
    // --listen-address A: the port text "A:PORT", listening on that interface only.
    const std::string address = options.text("listen-address", "");
    const std::string port = std::to_string(behaviour.port);
    apply_settings(module, address.empty() ? port : address + ":" + port, options);

    TestHost host(shape, behaviour);
    const int32_t result = module.output()(host.record());
    if (host.calls().abort_polls == 0 && attempt < kPortAttempts) {
      std::printf("port %u was taken meanwhile, trying another\n",
                  static_cast<unsigned>(behaviour.port));
      continue;
    }
    std::printf("served on port %u: result %d, %d frames fetched, %d audio requests\n",
                static_cast<unsigned>(behaviour.port), result, host.calls().frames_fetched,
                host.calls().audio_calls);
    log->expect(result == 1, "a served run returns 1");
    log->expect(!host.calls().hit_deadline, "the client finished before the deadline");
    log->expect(host.calls().frames_fetched >= shape.frame_count, "every frame was fetched");
    check_callbacks(host, log);
    return;
  }
}

void run_serve_frames(const PluginModule& module, const Options& options, CheckLog* log) {
  StreamShape shape;
  shape.width = static_cast<int32_t>(options.number("width", 0));
  shape.height = static_cast<int32_t>(options.number("height", 0));
  shape.frame_count = 1 << 30;
  shape.audio_samples = 1u << 31;
  std::vector<uint8_t> frame(static_cast<size_t>(frame_bytes(shape)));
  const std::string path = options.text("frame-file", "");
  FILE* file = std::fopen(path.c_str(), "rb");
  const bool read = file != nullptr && !frame.empty() &&
                    std::fread(frame.data(), 1, frame.size(), file) == frame.size();
  if (file != nullptr) std::fclose(file);
  if (!log->expect(read, "the frame file holds a whole frame of the given size")) return;

  HostBehaviour behaviour;
  behaviour.deadline_ms = static_cast<uint32_t>(options.number("deadline-ms", 600000));
  behaviour.announce_port = true;
  behaviour.fixed_frame = &frame;
  behaviour.copy_each_frame = options.number("copy-each-frame", 1) != 0;
  {
    PortHolder probe;
    behaviour.port = probe.port();
  }
  if (!log->expect(behaviour.port != 0, "a free port was found")) return;
  apply_settings(module, std::to_string(behaviour.port), options);
  TestHost host(shape, behaviour);
  const int32_t result = module.output()(host.record());
  log->expect(result == 1, "a served run returns 1");
  log->expect(!host.calls().hit_deadline, "the client finished before the deadline");
}

void run_clients_in_a_row(const PluginModule& module, const Options& options, bool keep_waiting,
                          CheckLog* log) {
  constexpr int kClients = 3;
  const StreamShape shape = shape_from(options);
  HostBehaviour behaviour;
  if (!prepare_clients_run(module, keep_waiting, false, &behaviour, log)) return;

  SequenceClients clients(behaviour.port, shape, kClients);
  behaviour.abort_when = &clients.done();
  TestHost host(shape, behaviour);
  const int32_t result = module.output()(host.record());
  clients.join();
  const bool refused_after = connection_refused(behaviour.port);
  std::printf("clients in a row, keep waiting %d: result %d, %d served, %d found no listener\n",
              keep_waiting ? 1 : 0, result, clients.served(), clients.refused());
  log->expect(result == 1, "the run returns 1");
  log->expect(!host.calls().hit_deadline, "the run ended before the deadline");
  log->expect(clients.second_connection_refused(),
              "a second connection while a client is served is refused");
  log->expect(refused_after, "nothing listens once the run has ended");
  if (keep_waiting) {
    log->expect(clients.served() == kClients, "every client in a row is served");
    log->expect(host.calls().abort_when_seen, "the host's abort ended the run");
    log->expect(host.calls().frames_fetched >= kClients * shape.frame_count,
                "every client's frames were fetched from the host");
  } else {
    log->expect(clients.served() == 1, "the first client is served");
    log->expect(clients.refused() == kClients - 1, "the later clients find no listener");
    log->expect(!host.calls().abort_when_seen, "the first client's Disconnect ended the run");
  }
  check_callbacks(host, log);
}

void run_clients_at_once(const PluginModule& module, const Options& options, CheckLog* log) {
  constexpr int kClients = 2;
  const StreamShape shape = shape_from(options);
  HostBehaviour behaviour;
  if (!prepare_clients_run(module, false, true, &behaviour, log)) return;

  ConcurrentClients clients(behaviour.port, shape, kClients);
  behaviour.abort_when = &clients.done();
  TestHost host(shape, behaviour);
  const int32_t result = module.output()(host.record());
  clients.join();
  const bool refused_after = connection_refused(behaviour.port);
  std::printf("clients at once: result %d, %d served, %d frames fetched\n", result,
              clients.served(), host.calls().frames_fetched);
  log->expect(result == 1, "the run returns 1");
  log->expect(!host.calls().hit_deadline, "the run ended before the deadline");
  log->expect(clients.connected_at_once(), "both clients were connected at once");
  log->expect(clients.served() == kClients, "both clients are served to the end");
  log->expect(host.calls().abort_when_seen, "the host's abort ended the run");
  log->expect(host.calls().frames_fetched >= kClients * shape.frame_count,
              "every client's frames were fetched from the host");
  log->expect(refused_after, "nothing listens once the run has ended");
  check_callbacks(host, log);
}

void run_abort_waiting(const PluginModule& module, CheckLog* log) {
  apply_settings(module, "0", Options(0, nullptr, 0));
  HostBehaviour behaviour;
  behaviour.abort_at_poll = 3;
  behaviour.deadline_ms = 10000;
  TestHost host(StreamShape{}, behaviour);
  const DWORD start = GetTickCount();
  const int32_t result = module.output()(host.record());
  const DWORD elapsed = GetTickCount() - start;
  std::printf("abort while waiting: result %d after %lu ms and %d polls\n", result,
              static_cast<unsigned long>(elapsed), host.calls().abort_polls);
  log->expect(result == 1, "an abort while waiting returns 1");
  log->expect(host.calls().abort_polls == 3, "the run ends at the poll that reports the abort");
  log->expect(!host.calls().hit_deadline, "the abort, not the deadline, ended the run");
  // Two waits of 100 ms lie between three polls.
  log->expect(elapsed >= 150 && elapsed < 5000, "the polls are about 100 ms apart");
  log->expect(host.calls().frames_fetched == 0 && host.calls().audio_calls == 0,
              "no frame or audio is fetched without a client");
  check_callbacks(host, log);
}

void run_port_taken(const PluginModule& module, CheckLog* log) {
  PortHolder holder;
  if (!log->expect(holder.port() != 0, "the harness holds a port")) return;
  apply_settings(module, std::to_string(holder.port()), Options(0, nullptr, 0));
  HostBehaviour behaviour;
  behaviour.abort_at_poll = 1;  // should the bind wrongly succeed, do not wait for a client
  TestHost host(StreamShape{}, behaviour);
  const DWORD start = GetTickCount();
  const int32_t result = module.output()(host.record());
  const DWORD elapsed = GetTickCount() - start;
  std::printf("port %u taken: result %d after %lu ms\n", static_cast<unsigned>(holder.port()),
              result, static_cast<unsigned long>(elapsed));
  log->expect(result == 1, "a port that is taken gives 1");
  log->expect(host.calls().abort_polls == 0, "the run gives up before waiting for a client");
  log->expect(elapsed < 5000, "the run gives up at once");
}

void run_stalled_client(const PluginModule& module, CheckLog* log) {
  constexpr int kFrames = 64;
  constexpr uint32_t kAbortAtMs = 1500;
  HostBehaviour behaviour;
  behaviour.deadline_ms = kAbortAtMs;  // is_aborted turns nonzero then
  {
    PortHolder probe;
    behaviour.port = probe.port();
  }
  if (!log->expect(behaviour.port != 0, "a free port was found")) return;
  apply_settings(module, std::to_string(behaviour.port), Options(0, nullptr, 0));
  StreamShape shape;
  shape.frame_count = 100;
  TestHost host(shape, behaviour);
  StalledClient client(behaviour.port, kFrames);
  const DWORD start = GetTickCount();
  const int32_t result = module.output()(host.record());
  const DWORD elapsed = GetTickCount() - start;
  std::printf("stalled client: result %d after %lu ms, %d frames fetched\n", result,
              static_cast<unsigned long>(elapsed), host.calls().frames_fetched);
  log->expect(result == 1, "the run returns 1");
  log->expect(client.requests_sent(), "the client sent its requests");
  log->expect(host.calls().frames_fetched >= 1, "the plug-in began to serve");
  // 64 frames of 675 KB are far more than the socket buffers hold.
  log->expect(host.calls().frames_fetched < kFrames, "the full socket held the plug-in");
  log->expect(host.calls().hit_deadline, "the abort ended the run");
  log->expect(elapsed + 100 >= kAbortAtMs && elapsed < kAbortAtMs + 1000,
              "the run ended at the abort");
}

}  // namespace harness
