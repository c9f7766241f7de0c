#include "bench/bench_host.h"

#include <cstring>
#include <vector>

namespace quorvel::bench {

namespace {

constexpr int32_t kAudioRate = 48000;
constexpr int32_t kAudioChannels = 2;

struct HostState {
  const BenchFrame* frame = nullptr;
  bool copy_each_frame = false;
  std::vector<uint8_t> buffer;
  std::vector<uint8_t> audio;
};

HostState& state() {
  static HostState host_state;
  return host_state;
}

void* get_frame(int32_t /*frame_number*/, uint32_t /*format*/) {
  HostState& host = state();
  if (!host.copy_each_frame) return host.buffer.data();
  std::memcpy(host.buffer.data(), host.frame->bytes.data(), host.buffer.size());
  return host.buffer.data();
}

void* get_audio(int32_t /*first_sample*/, int32_t sample_count, int32_t* delivered) {
  const int32_t most = kBenchAudioBytes / (kAudioChannels * 2);
  *delivered = sample_count < most ? sample_count : most;
  return state().audio.data();
}

int32_t is_aborted() {
  return 0;
}
int32_t show_progress(int32_t, int32_t) {
  return 0;
}
int32_t notify_frame() {
  return 0;
}

}  // namespace

HostOutputInfo make_bench_host(const BenchFrame& frame, bool copy_each_frame) {
  HostState& host = state();
  host.frame = &frame;
  host.copy_each_frame = copy_each_frame;
  host.buffer = frame.bytes;
  host.audio.assign(kBenchAudioBytes, 0);

  HostOutputInfo info{};
  info.flags = QUORVEL_HOST_HAS_VIDEO | QUORVEL_HOST_HAS_AUDIO;
  info.width = frame.width;
  info.height = frame.height;
  info.rate = 25;
  info.scale = 1;
  info.frame_count = 1 << 30;
  info.frame_size = static_cast<uint32_t>(frame.bytes.size());
  info.audio_rate = kAudioRate;
  info.audio_channels = kAudioChannels;
  info.audio_samples = 1u << 31;
  info.get_audio = get_audio;
  info.is_aborted = is_aborted;
  info.show_progress = show_progress;
  info.notify_frame = notify_frame;
  info.get_frame = get_frame;
  return info;
}

}  // namespace quorvel::bench
