// ScriptedHost: a stand-in for the video editor behind HostOutputInfo. Its C callbacks
// record every call in order and serve deterministic frames and audio (see frame_byte() and
// audio_byte()), so a test can check both the call sequence and the bytes on the wire.
//
// Frames and audio are served from heap blocks of exactly the size the host promises, and
// each block is freed at the next call of the same callback: a session that reads past a
// block, or uses a frame after the next get_frame(), faults under AddressSanitizer. With
// reuse_buffers(), the host instead overwrites one frame buffer and one audio buffer at
// every fetch, so such a session sends the wrong bytes in any build.
// The callbacks have no context argument, so one ScriptedHost at a time is the active one:
// the most recently constructed, until it is destroyed.
#ifndef QUORVEL_TESTS_SUPPORT_SCRIPTED_HOST_H_
#define QUORVEL_TESTS_SUPPORT_SCRIPTED_HOST_H_

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "server/host_abi.h"

namespace quorvel {

enum class HostCallKind { kGetFrame, kNotifyFrame, kShowProgress, kGetAudio, kIsAborted };

struct HostCall {
  HostCallKind kind;
  int32_t first;    // frame number (get_frame, show_progress) or first sample (get_audio)
  int32_t second;   // frame count (show_progress), sample count (get_audio), format (get_frame)
  int64_t time_ms;  // the host's clock when the call came (see set_clock)
};

class ScriptedHost {
 public:
  // The stream: video of width x height (frame_size width * height * 2), frame_count frames
  // at 30000/1001; 48 kHz stereo audio of 480,000 samples. Change info() before the run for
  // other properties; the callbacks read it when they are called.
  ScriptedHost(int32_t width, int32_t height, int32_t frame_count = 100);
  ~ScriptedHost();

  ScriptedHost(const ScriptedHost&) = delete;
  ScriptedHost& operator=(const ScriptedHost&) = delete;

  // The record to hand to the session; its callbacks lead to this host.
  HostOutputInfo& info() { return info_; }
  const HostOutputInfo& info() const { return info_; }

  // ---- Script ----------------------------------------------------------------------------
  // get_frame(n) returns null for these frames.
  void return_null_frame(int32_t frame_number) { null_frames_.insert(frame_number); }
  void return_null_audio(bool on) { null_audio_ = on; }
  // is_aborted() returns 0 for its first `calls` calls, nonzero from then on.
  void abort_after_calls(int calls);
  // is_aborted() turns nonzero for good the first time `condition` holds when it is called.
  void abort_when(std::function<bool()> condition) { abort_condition_ = std::move(condition); }
  // REQUIRES: samples >= 0.
  // get_audio() writes this many samples to *delivered and serves that many; by default it
  // leaves *delivered untouched and serves the sample count asked for. A request whose
  // block would pass 16 MiB is served that much and told as delivered in either mode.
  void deliver_samples(int32_t samples);
  // Serves every frame from one buffer and all audio from another, as a real host does: each
  // get_frame overwrites the frame buffer, each get_audio the audio buffer (poisoned first,
  // grown when too small). Off by default.
  void reuse_buffers(bool on) { reuse_buffers_ = on; }
  // Stamps every recorded call with this clock (the fake sockets' now_ms, say); 0 by default.
  void set_clock(int64_t (*clock)()) { clock_ = clock; }

  // ---- Observations ----------------------------------------------------------------------
  const std::vector<HostCall>& calls() const { return calls_; }
  // The calls but is_aborted, one string each: "get_frame 4", "notify_frame",
  // "show_progress 4/100", "get_audio 0+10".
  std::vector<std::string> trace() const;
  // The frame numbers passed to get_frame, in order.
  std::vector<int32_t> fetched_frames() const;
  int count(HostCallKind kind) const;
  // Time of the first is_aborted() call that returned nonzero; -1 when none did.
  int64_t first_abort_ms() const { return first_abort_ms_; }

  // ---- The content it serves -------------------------------------------------------------
  static uint8_t frame_byte(int32_t frame_number, int64_t offset);
  // Byte `offset_in_sample` (0 .. channels * 2 - 1) of sample `sample`.
  static uint8_t audio_byte(int64_t sample, int32_t offset_in_sample);
  // The frame get_frame(n) serves, as a fresh copy.
  std::vector<uint8_t> expected_frame(int32_t frame_number) const;
  // `sample_count` samples from `first_sample`, as get_audio serves them.
  std::vector<uint8_t> expected_audio(int32_t first_sample, int32_t sample_count) const;

 private:
  static void* QUORVEL_CDECL get_audio_callback(int32_t first, int32_t count, int32_t* delivered);
  static int32_t QUORVEL_CDECL is_aborted_callback();
  static int32_t QUORVEL_CDECL show_progress_callback(int32_t frame, int32_t frame_count);
  static int32_t QUORVEL_CDECL notify_frame_callback();
  static void* QUORVEL_CDECL get_frame_callback(int32_t frame, uint32_t format);

  void record(HostCallKind kind, int32_t first, int32_t second);
  void* serve_frame(int32_t frame_number);
  void* serve_audio(int32_t first_sample, int32_t sample_count, int32_t* delivered);
  // The block to serve `bytes` from: a fresh one, or with reuse_buffers the one block,
  // poisoned and grown as needed; *block holds it until the next call.
  void* next_block(void** block, size_t* capacity, const std::vector<uint8_t>& bytes, bool serve);
  int32_t answer_abort();

  HostOutputInfo info_;
  std::vector<HostCall> calls_;
  std::set<int32_t> null_frames_;
  bool null_audio_ = false;
  int abort_after_calls_ = -1;
  int is_aborted_calls_ = 0;
  std::function<bool()> abort_condition_;
  bool aborted_ = false;
  int64_t first_abort_ms_ = -1;
  bool write_delivered_ = false;
  int32_t delivered_samples_ = 0;
  int64_t (*clock_)() = nullptr;
  bool reuse_buffers_ = false;
  void* frame_block_ = nullptr;
  void* audio_block_ = nullptr;
  size_t frame_capacity_ = 0;  // with reuse_buffers: the blocks' sizes
  size_t audio_capacity_ = 0;
  ScriptedHost* previous_active_;
};

}  // namespace quorvel

#endif  // QUORVEL_TESTS_SUPPORT_SCRIPTED_HOST_H_
