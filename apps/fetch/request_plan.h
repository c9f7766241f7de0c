// RequestPlan: the requests of a fetch, in the order they are sent. Each frame is followed
// by the audio that plays during it, so both outputs grow together; audio past the last
// frame (or all of it, without video) follows in requests of bounded size. When one output
// cannot take more for a while (a named pipe whose reader reads the other one first, as
// ffmpeg does while it probes its first input), the caller may hold back that kind of
// request: the other stream then runs ahead, by at most kAheadBytes of audio.
#ifndef QUORVEL_APPS_FETCH_REQUEST_PLAN_H_
#define QUORVEL_APPS_FETCH_REQUEST_PLAN_H_

#include <cstdint>

#include "apps/fetch/frame_range.h"
#include "wire/protocol.h"

namespace quorvel::client {

struct PlannedRequest {
  enum class Kind { kFrame, kAudio };
  Kind kind = Kind::kFrame;
  int32_t frame = 0;          // kFrame
  uint64_t first_sample = 0;  // kAudio
  int64_t sample_count = 0;   // kAudio
};

struct RequestSpan {
  bool video = false;  // frames wanted
  FrameRange frames;   // when video: first..last, resolved against the stream
  bool audio = false;  // audio wanted
  uint64_t audio_first = 0;
  uint64_t audio_end = 0;  // one past the last sample
};

// The kinds of request the caller can take now.
struct RequestKinds {
  bool frames = true;
  bool audio = true;
};

class RequestPlan {
 public:
  // How far one stream may run ahead of the other, in bytes of audio: more than ffmpeg
  // reads of a WAV input (some 224 KiB) before it opens its next input.
  static constexpr int64_t kAheadBytes = 1 << 20;

  RequestPlan(const StreamInfoRecord& info, const RequestSpan& span);

  // The next request of a kind that is wanted; false when every request has been given out,
  // or none of those left may come now.
  bool next(PlannedRequest* request, RequestKinds wanted = RequestKinds());
  // One past the last sample asked for so far.
  uint64_t audio_asked() const { return next_sample_; }
  // Every request has been given out.
  bool done() const;

 private:
  bool next_audio_before(uint64_t end, PlannedRequest* request);
  // Audio of frames not yet asked for, a frame's worth at a time.
  bool next_audio_ahead(PlannedRequest* request);
  // Where the frames asked for so far end, in samples.
  uint64_t frames_asked_end() const;

  const StreamInfoRecord info_;
  const RequestSpan span_;
  const int64_t samples_per_request_;
  const uint64_t ahead_samples_;
  int64_t next_frame_;
  uint64_t next_sample_;
};

// The first audio sample that plays during frame f: floor(f * audio_rate * scale / rate).
uint64_t first_sample_of_frame(int64_t frame, const StreamInfoRecord& info);

}  // namespace quorvel::client

#endif  // QUORVEL_APPS_FETCH_REQUEST_PLAN_H_
