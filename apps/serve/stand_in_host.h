// StandInHost: plays the video editor for the server on Linux. It fills a HostOutputInfo
// from its sources and answers the callbacks: every get_frame renders a fresh copy of the
// frame into the host's one frame buffer (the compressing codecs filter it in place),
// numbers outside the stream give the nearest frame, and get_audio hands out every sample
// asked for up to the stream's end (the session sends the silence past the end). A source
// that cannot give what is asked for (its file was cut shorter while served) ends the run:
// the host aborts and keeps the reason. The callbacks have no context argument, so one host
// is active at a time.
#ifndef QUORVEL_APPS_SERVE_STAND_IN_HOST_H_
#define QUORVEL_APPS_SERVE_STAND_IN_HOST_H_

#include <csignal>
#include <cstdint>
#include <string>
#include <vector>

#include "apps/serve/media_source.h"
#include "server/host_abi.h"

namespace quorvel::serve {

// Told of every show_progress call.
struct ProgressListener {
  void (*on_progress)(void* context, int32_t frame_number, int32_t frame_count);
  void* context;
};

class StandInHost {
 public:
  // Either source may be null (no video, no audio). Makes this host the active one.
  // REQUIRES: the sources and the listener outlive the host.
  StandInHost(VideoSource* video, AudioSource* audio, const ProgressListener* progress);
  ~StandInHost();
  StandInHost(const StandInHost&) = delete;
  StandInHost& operator=(const StandInHost&) = delete;

  const HostOutputInfo& info() const { return info_; }

  // From then on is_aborted returns nonzero. Safe to call from a signal handler.
  static void request_abort();
  static bool abort_requested();

  // The samples get_audio hands out for a request: those from first up to the stream's end
  // (with the silence before its start), no more than one reply can carry in bytes.
  static int64_t audio_samples_to_deliver(int32_t first_sample, int32_t sample_count,
                                          const AudioFormat& format);

  uint64_t frames_fetched() const { return frames_fetched_; }
  // Why a source failed and the host aborted the run; empty while none has.
  const std::string& failure() const { return failure_; }

 private:
  // Keeps the first failure and aborts the run.
  void fail(const std::string& problem);

  static void* QUORVEL_CDECL get_frame(int32_t frame_number, uint32_t format);
  static void* QUORVEL_CDECL get_audio(int32_t first_sample, int32_t sample_count,
                                       int32_t* delivered);
  static int32_t QUORVEL_CDECL is_aborted();
  static int32_t QUORVEL_CDECL show_progress(int32_t frame_number, int32_t frame_count);
  static int32_t QUORVEL_CDECL notify_frame();

  VideoSource* const video_;
  AudioSource* const audio_;
  const ProgressListener* const progress_;
  HostOutputInfo info_{};
  std::vector<uint8_t> frame_;
  std::vector<uint8_t> audio_buffer_;
  uint64_t frames_fetched_ = 0;
  std::string failure_;

  static StandInHost* active_;
  static volatile std::sig_atomic_t abort_flag_;
};

}  // namespace quorvel::serve

#endif  // QUORVEL_APPS_SERVE_STAND_IN_HOST_H_
