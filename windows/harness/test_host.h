// TestHost: the harness's stand-in for the video editor during one output run. It lays out
// the host record byte by byte at the host's offsets (not through the plug-in's header),
// serves the frames and audio of test_stream.h through the five callbacks, and records how
// the plug-in called them. The callbacks carry no context, so there is one TestHost at a time.
#ifndef QUORVEL_WINDOWS_HARNESS_TEST_HOST_H_
#define QUORVEL_WINDOWS_HARNESS_TEST_HOST_H_

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "test_stream.h"
#include "tests/support/guarded_buffer.h"

namespace harness {

constexpr int kHostRecordSize = 128;

struct HostBehaviour {
  // is_aborted answers nonzero from this poll on (0: never, but see deadline_ms).
  int abort_at_poll = 0;
  // is_aborted answers nonzero once this much time has passed since the run began, so a
  // client that never comes cannot hang the harness.
  uint32_t deadline_ms = 60000;
  // is_aborted answers nonzero once this turns true, as when the user stops the output.
  const std::atomic<bool>* abort_when = nullptr;
  // is_aborted answers nonzero once this file exists (looked at no more than every 100 ms),
  // for a test script to stop a run that keeps waiting for clients.
  std::string stop_file;
  // Written with the port number at the first poll, which comes only once the plug-in listens.
  std::string port_file;
  uint16_t port = 0;
  // Also told at the first poll as "listening on port N" on stderr, as quorvel-serve does.
  bool announce_port = false;
  // The benchmark's host: every frame number gives this one frame (width x height of the
  // shape), from one buffer that is restored before each fetch only when copy_each_frame is
  // set (a compressing codec filters it in place), and audio is silence. It does as little
  // as a host can, so the figures are the plug-in's own.
  const std::vector<uint8_t>* fixed_frame = nullptr;
  bool copy_each_frame = true;
};

struct HostCalls {
  int abort_polls = 0;
  bool hit_deadline = false;
  // is_aborted answered nonzero because abort_when turned true or the stop file appeared.
  bool abort_when_seen = false;
  int frames_fetched = 0;
  int notifications = 0;
  int progress_calls = 0;
  int audio_calls = 0;
  bool wrong_format = false;          // get_frame asked for something other than YUY2
  bool wrong_progress_total = false;  // show_progress's second argument was not frame_count
  bool notify_without_frame = false;  // notify_frame not right after a get_frame
};

class TestHost {
 public:
  TestHost(const StreamShape& shape, const HostBehaviour& behaviour);
  ~TestHost();
  TestHost(const TestHost&) = delete;
  TestHost& operator=(const TestHost&) = delete;

  // The record to pass to the output function.
  uint8_t* record() { return record_; }
  // True when the record holds exactly the bytes it was built with.
  bool record_unchanged() const;
  const HostCalls& calls() const { return calls_; }

 private:
  static void* __cdecl get_audio(int32_t first_sample, int32_t sample_count, int32_t* delivered);
  static int32_t __cdecl is_aborted();
  static int32_t __cdecl show_progress(int32_t frame_number, int32_t frame_count);
  static int32_t __cdecl notify_frame();
  static void* __cdecl get_frame(int32_t frame_number, uint32_t format);

  void build_record();
  void write_port_file() const;
  bool stop_file_exists();

  static TestHost* current_;

  StreamShape shape_;
  HostBehaviour behaviour_;
  HostCalls calls_;
  uint32_t start_ms_;
  uint32_t stop_file_looked_ms_ = 0;
  bool frame_just_fetched_ = false;
  alignas(8) uint8_t record_[kHostRecordSize];
  uint8_t built_[kHostRecordSize];
  // Each flush against an unreadable page, so the plug-in cannot read past the host's data.
  std::unique_ptr<quorvel::GuardedBuffer> frame_;
  std::unique_ptr<quorvel::GuardedBuffer> audio_;
  // The benchmark's buffers (fixed_frame).
  std::vector<uint8_t> bench_frame_;
  std::vector<uint8_t> bench_audio_;
};

}  // namespace harness

#endif  // QUORVEL_WINDOWS_HARNESS_TEST_HOST_H_
