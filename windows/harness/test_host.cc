#include "test_host.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

namespace harness {

namespace {

constexpr uint32_t kFourccYuy2 = 0x32595559u;
constexpr int32_t kHasVideo = 1;
constexpr int32_t kHasAudio = 2;
// Audio the benchmark's host gives per request at most; the plug-in sends zeros for the rest.
constexpr int32_t kBenchAudioBytes = 1 << 20;

void put32(uint8_t* record, int offset, uint32_t value) {
  std::memcpy(record + offset, &value, 4);
}

template <typename Function>
void put_callback(uint8_t* record, int offset, Function function) {
  static_assert(sizeof function == 4, "the harness is the 32-bit host");
  std::memcpy(record + offset, &function, 4);
}

}  // namespace

TestHost* TestHost::current_ = nullptr;

TestHost::TestHost(const StreamShape& shape, const HostBehaviour& behaviour)
    : shape_(shape), behaviour_(behaviour), start_ms_(GetTickCount()) {
  if (behaviour_.fixed_frame != nullptr) {
    bench_frame_ = *behaviour_.fixed_frame;
    bench_audio_.assign(kBenchAudioBytes, 0);
  }
  build_record();
  current_ = this;
}

TestHost::~TestHost() {
  current_ = nullptr;
}

void TestHost::build_record() {
  std::memset(record_, 0, sizeof record_);
  put32(record_, 0, static_cast<uint32_t>(kHasVideo | kHasAudio));
  put32(record_, 4, static_cast<uint32_t>(shape_.width));
  put32(record_, 8, static_cast<uint32_t>(shape_.height));
  put32(record_, 12, 30000);  // rate / scale: 29.97 frames per second
  put32(record_, 16, 1001);
  put32(record_, 20, static_cast<uint32_t>(shape_.frame_count));
  put32(record_, 24, static_cast<uint32_t>(frame_bytes(shape_)));
  put32(record_, 28, static_cast<uint32_t>(shape_.audio_rate));
  put32(record_, 32, static_cast<uint32_t>(shape_.channels));
  put32(record_, 36, shape_.audio_samples);
  put_callback(record_, 52, &TestHost::get_audio);
  put_callback(record_, 56, &TestHost::is_aborted);
  put_callback(record_, 60, &TestHost::show_progress);
  put_callback(record_, 68, &TestHost::notify_frame);
  put_callback(record_, 72, &TestHost::get_frame);
  std::memcpy(built_, record_, sizeof built_);
}

bool TestHost::record_unchanged() const {
  return std::memcmp(record_, built_, sizeof built_) == 0;
}

void TestHost::write_port_file() const {
  if (behaviour_.port_file.empty()) return;
  // Written beside the target and renamed, so a reader never sees half a number.
  const std::string partial = behaviour_.port_file + ".partial";
  FILE* file = std::fopen(partial.c_str(), "wb");
  if (file == nullptr) return;
  std::fprintf(file, "%u\n", static_cast<unsigned>(behaviour_.port));
  std::fclose(file);
  MoveFileExA(partial.c_str(), behaviour_.port_file.c_str(), MOVEFILE_REPLACE_EXISTING);
}

bool TestHost::stop_file_exists() {
  if (behaviour_.stop_file.empty()) return false;
  // The plug-in polls often while it serves; a file lookup at each poll would slow the soak.
  const uint32_t now = GetTickCount();
  if (now - stop_file_looked_ms_ < 100) return false;
  stop_file_looked_ms_ = now;
  return GetFileAttributesA(behaviour_.stop_file.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void* __cdecl TestHost::get_audio(int32_t first_sample, int32_t sample_count, int32_t* delivered) {
  TestHost& host = *current_;
  ++host.calls_.audio_calls;
  if (host.behaviour_.fixed_frame != nullptr) {
    const int32_t most = kBenchAudioBytes / (host.shape_.channels * 2);
    if (delivered != nullptr) *delivered = sample_count < most ? sample_count : most;
    return host.bench_audio_.data();
  }
  const int32_t count = sample_count > 0 ? sample_count : 0;
  host.audio_ = std::make_unique<quorvel::GuardedBuffer>(
      static_cast<size_t>(count) * static_cast<size_t>(host.shape_.channels) * 2);
  fill_audio(host.audio_->data(), host.shape_, first_sample, count);
  if (delivered != nullptr) *delivered = count;
  return host.audio_->data();
}

int32_t __cdecl TestHost::is_aborted() {
  TestHost& host = *current_;
  if (++host.calls_.abort_polls == 1) {
    host.write_port_file();
    if (host.behaviour_.announce_port) {
      std::fprintf(stderr, "quorvel-host-harness: listening on port %u\n",
                   static_cast<unsigned>(host.behaviour_.port));
      std::fflush(stderr);
    }
  }
  if (host.behaviour_.abort_at_poll > 0 && host.calls_.abort_polls >= host.behaviour_.abort_at_poll)
    return 1;
  if ((host.behaviour_.abort_when != nullptr && *host.behaviour_.abort_when) ||
      host.stop_file_exists()) {
    host.calls_.abort_when_seen = true;
    return 1;
  }
  if (GetTickCount() - host.start_ms_ > host.behaviour_.deadline_ms) {
    host.calls_.hit_deadline = true;
    return 1;
  }
  return 0;
}

int32_t __cdecl TestHost::show_progress(int32_t /*frame_number*/, int32_t frame_count) {
  TestHost& host = *current_;
  ++host.calls_.progress_calls;
  if (frame_count != host.shape_.frame_count) host.calls_.wrong_progress_total = true;
  return 0;
}

int32_t __cdecl TestHost::notify_frame() {
  TestHost& host = *current_;
  ++host.calls_.notifications;
  if (!host.frame_just_fetched_) host.calls_.notify_without_frame = true;
  host.frame_just_fetched_ = false;
  return 0;
}

void* __cdecl TestHost::get_frame(int32_t frame_number, uint32_t format) {
  TestHost& host = *current_;
  ++host.calls_.frames_fetched;
  if (format != kFourccYuy2) host.calls_.wrong_format = true;
  host.frame_just_fetched_ = true;
  if (host.behaviour_.fixed_frame != nullptr) {
    if (host.behaviour_.copy_each_frame) {
      std::memcpy(host.bench_frame_.data(), host.behaviour_.fixed_frame->data(),
                  host.bench_frame_.size());
    }
    return host.bench_frame_.data();
  }
  // A new buffer every time: the compressing codecs filter the last one in place.
  host.frame_ =
      std::make_unique<quorvel::GuardedBuffer>(static_cast<size_t>(frame_bytes(host.shape_)));
  fill_frame(host.frame_->data(), host.shape_, frame_number);
  return host.frame_->data();
}

}  // namespace harness
