// RequestPlan: the requests of a fetch, in the order they are sent. Each frame is followed
// by the audio that plays during it, so both outputs grow together; audio past the last
// frame (or all of it, without video) follows in requests of bounded size.
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

class RequestPlan {
 public:
  RequestPlan(const StreamInfoRecord& info, const RequestSpan& span);

  // The next request; false when every request has been given out.
  bool next(PlannedRequest* request);

 private:
  bool next_audio_before(uint64_t end, PlannedRequest* request);

  const StreamInfoRecord info_;
  const RequestSpan span_;
  const int64_t samples_per_request_;
  int64_t next_frame_;
  uint64_t next_sample_;
};

// The first audio sample that plays during frame f: floor(f * audio_rate * scale / rate).
uint64_t first_sample_of_frame(int64_t frame, const StreamInfoRecord& info);

}  // namespace quorvel::client

#endif  // QUORVEL_APPS_FETCH_REQUEST_PLAN_H_
