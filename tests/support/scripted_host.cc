#include "tests/support/scripted_host.h"

#include <cstdlib>
#include <cstring>

namespace quorvel {

namespace {

ScriptedHost* active_host = nullptr;

// Caps one audio block, so that a request for a huge sample count stays cheap.
constexpr int64_t kMaxAudioBlockBytes = 16 << 20;

const char* kind_name(HostCallKind kind) {
  switch (kind) {
    case HostCallKind::kGetFrame:
      return "get_frame";
    case HostCallKind::kNotifyFrame:
      return "notify_frame";
    case HostCallKind::kShowProgress:
      return "show_progress";
    case HostCallKind::kGetAudio:
      return "get_audio";
    case HostCallKind::kIsAborted:
      return "is_aborted";
  }
  return "?";
}

}  // namespace

ScriptedHost::ScriptedHost(int32_t width, int32_t height, int32_t frame_count)
    : info_(), previous_active_(active_host) {
  info_.flags = QUORVEL_HOST_HAS_VIDEO | QUORVEL_HOST_HAS_AUDIO;
  info_.width = width;
  info_.height = height;
  info_.rate = 30000;
  info_.scale = 1001;
  info_.frame_count = frame_count;
  info_.frame_size = static_cast<uint32_t>(width) * static_cast<uint32_t>(height) * 2u;
  info_.audio_rate = 48000;
  info_.audio_channels = 2;
  info_.audio_samples = 480000;
  info_.get_audio = get_audio_callback;
  info_.is_aborted = is_aborted_callback;
  info_.show_progress = show_progress_callback;
  info_.notify_frame = notify_frame_callback;
  info_.get_frame = get_frame_callback;
  active_host = this;
}

ScriptedHost::~ScriptedHost() {
  std::free(frame_block_);
  std::free(audio_block_);
  active_host = previous_active_;
}

void ScriptedHost::abort_after_calls(int calls) {
  abort_after_calls_ = calls;
}

void ScriptedHost::deliver_samples(int32_t samples) {
  write_delivered_ = true;
  delivered_samples_ = samples;
}

std::vector<std::string> ScriptedHost::trace() const {
  std::vector<std::string> lines;
  for (const HostCall& call : calls_) {
    std::string line = kind_name(call.kind);
    switch (call.kind) {
      case HostCallKind::kGetFrame:
        line += " " + std::to_string(call.first);
        break;
      case HostCallKind::kShowProgress:
        line += " " + std::to_string(call.first) + "/" + std::to_string(call.second);
        break;
      case HostCallKind::kGetAudio:
        line += " " + std::to_string(call.first) + "+" + std::to_string(call.second);
        break;
      case HostCallKind::kNotifyFrame:
        break;
      case HostCallKind::kIsAborted:
        continue;
    }
    lines.push_back(line);
  }
  return lines;
}

std::vector<int32_t> ScriptedHost::fetched_frames() const {
  std::vector<int32_t> frames;
  for (const HostCall& call : calls_) {
    if (call.kind == HostCallKind::kGetFrame) frames.push_back(call.first);
  }
  return frames;
}

int ScriptedHost::count(HostCallKind kind) const {
  int n = 0;
  for (const HostCall& call : calls_) n += call.kind == kind ? 1 : 0;
  return n;
}

uint8_t ScriptedHost::frame_byte(int32_t frame_number, int64_t offset) {
  // Varies along the row, from row to row (offset / 7 is not a multiple of the row length)
  // and from frame to frame, so a shifted, stale or foreign frame shows.
  const uint64_t mixed = static_cast<uint64_t>(offset) * 7u + static_cast<uint64_t>(offset / 7) +
                         static_cast<uint32_t>(frame_number) * 131u;
  return static_cast<uint8_t>(mixed);
}

uint8_t ScriptedHost::audio_byte(int64_t sample, int32_t offset_in_sample) {
  return static_cast<uint8_t>(static_cast<uint64_t>(sample) * 5u +
                              static_cast<uint32_t>(offset_in_sample) * 71u + 1u);
}

std::vector<uint8_t> ScriptedHost::expected_frame(int32_t frame_number) const {
  const int64_t size = static_cast<int64_t>(info_.width) * 2 * info_.height;
  std::vector<uint8_t> frame(size > 0 ? static_cast<size_t>(size) : 0);
  for (size_t i = 0; i < frame.size(); ++i) {
    frame[i] = frame_byte(frame_number, static_cast<int64_t>(i));
  }
  return frame;
}

std::vector<uint8_t> ScriptedHost::expected_audio(int32_t first_sample,
                                                  int32_t sample_count) const {
  const int32_t sample_bytes = info_.audio_channels > 0 ? info_.audio_channels * 2 : 0;
  std::vector<uint8_t> audio;
  for (int32_t s = 0; s < sample_count; ++s) {
    for (int32_t b = 0; b < sample_bytes; ++b) {
      audio.push_back(audio_byte(static_cast<int64_t>(first_sample) + s, b));
    }
  }
  return audio;
}

void ScriptedHost::record(HostCallKind kind, int32_t first, int32_t second) {
  calls_.push_back({kind, first, second, clock_ != nullptr ? clock_() : 0});
}

void* ScriptedHost::next_block(void** block, size_t* capacity, const std::vector<uint8_t>& bytes,
                               bool serve) {
  constexpr uint8_t kPoison = 0xE5;
  if (!reuse_buffers_) {
    // The previous block is valid only until this call.
    std::free(*block);
    *block = nullptr;
    if (!serve) return nullptr;
    *block = std::malloc(bytes.size());
  } else {
    if (*block != nullptr) std::memset(*block, kPoison, *capacity);
    if (!serve) return nullptr;
    if (bytes.size() > *capacity || *block == nullptr) {
      std::free(*block);
      *block = std::malloc(bytes.size() > 0 ? bytes.size() : 1);
      *capacity = *block != nullptr ? bytes.size() : 0;
    }
  }
  if (*block != nullptr && !bytes.empty()) std::memcpy(*block, bytes.data(), bytes.size());
  return *block;
}

void* ScriptedHost::serve_frame(int32_t frame_number) {
  const bool serve = null_frames_.count(frame_number) == 0;
  const std::vector<uint8_t> frame = serve ? expected_frame(frame_number) : std::vector<uint8_t>();
  return next_block(&frame_block_, &frame_capacity_, frame, serve);
}

void* ScriptedHost::serve_audio(int32_t first_sample, int32_t sample_count, int32_t* delivered) {
  if (null_audio_) return next_block(&audio_block_, &audio_capacity_, {}, false);
  const int64_t sample_bytes = info_.audio_channels > 0 ? info_.audio_channels * 2 : 0;
  int64_t samples = write_delivered_ ? delivered_samples_ : sample_count;
  if (samples < 0) samples = 0;
  bool tell_delivered = write_delivered_;
  if (sample_bytes > 0 && samples * sample_bytes > kMaxAudioBlockBytes) {
    samples = kMaxAudioBlockBytes / sample_bytes;
    tell_delivered = true;
  }
  if (tell_delivered) *delivered = static_cast<int32_t>(samples);
  const std::vector<uint8_t> audio =
      expected_audio(first_sample, sample_bytes > 0 ? static_cast<int32_t>(samples) : 0);
  return next_block(&audio_block_, &audio_capacity_, audio, true);
}

int32_t ScriptedHost::answer_abort() {
  ++is_aborted_calls_;
  if (!aborted_) {
    aborted_ = (abort_after_calls_ >= 0 && is_aborted_calls_ > abort_after_calls_) ||
               (abort_condition_ && abort_condition_());
    if (aborted_) first_abort_ms_ = clock_ != nullptr ? clock_() : 0;
  }
  return aborted_ ? 1 : 0;
}

void* QUORVEL_CDECL ScriptedHost::get_audio_callback(int32_t first, int32_t count,
                                                     int32_t* delivered) {
  active_host->record(HostCallKind::kGetAudio, first, count);
  return active_host->serve_audio(first, count, delivered);
}

int32_t QUORVEL_CDECL ScriptedHost::is_aborted_callback() {
  active_host->record(HostCallKind::kIsAborted, 0, 0);
  return active_host->answer_abort();
}

int32_t QUORVEL_CDECL ScriptedHost::show_progress_callback(int32_t frame, int32_t frame_count) {
  active_host->record(HostCallKind::kShowProgress, frame, frame_count);
  return 0;
}

int32_t QUORVEL_CDECL ScriptedHost::notify_frame_callback() {
  active_host->record(HostCallKind::kNotifyFrame, 0, 0);
  return 0;
}

void* QUORVEL_CDECL ScriptedHost::get_frame_callback(int32_t frame, uint32_t format) {
  active_host->record(HostCallKind::kGetFrame, frame, static_cast<int32_t>(format));
  return active_host->serve_frame(frame);
}

}  // namespace quorvel
