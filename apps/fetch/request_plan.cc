#include "apps/fetch/request_plan.h"

#include <algorithm>

#include "util/multiply_divide.h"

namespace quorvel::client {

namespace {

// Audio beyond the video's last frame is asked for in requests of at most this many bytes.
constexpr int64_t kAudioRequestBytes = 1 << 20;

}  // namespace

uint64_t first_sample_of_frame(int64_t frame, const StreamInfoRecord& info) {
  if (frame <= 0 || info.rate == 0) return 0;
  // Below 2^62: a frame is at most 2^31 (one past the last of an int32_t count), the audio
  // rate a positive int32_t.
  const uint64_t samples_times_rate =
      static_cast<uint64_t>(frame) * static_cast<uint64_t>(info.audio_rate);
  return multiply_divide(samples_times_rate, info.scale, info.rate);
}

RequestPlan::RequestPlan(const StreamInfoRecord& info, const RequestSpan& span)
    : info_(info),
      span_(span),
      // A stream without audio has no channels; its span asks for no audio.
      samples_per_request_(
          std::max<int64_t>(1, kAudioRequestBytes / std::max(2, info.channels * 2))),
      next_frame_(span.frames.first),
      next_sample_(span.audio_first) {}

bool RequestPlan::next_audio_before(uint64_t end, PlannedRequest* request) {
  if (!span_.audio || next_sample_ >= end) return false;
  const int64_t count =
      std::min<int64_t>(static_cast<int64_t>(end - next_sample_), samples_per_request_);
  request->kind = PlannedRequest::Kind::kAudio;
  request->first_sample = next_sample_;
  request->sample_count = count;
  next_sample_ += static_cast<uint64_t>(count);
  return true;
}

bool RequestPlan::next(PlannedRequest* request) {
  if (span_.video && next_frame_ > span_.frames.first) {
    // The audio that plays during the frame given out last comes before anything after it.
    const uint64_t played = std::min(first_sample_of_frame(next_frame_, info_), span_.audio_end);
    if (next_audio_before(played, request)) return true;
  }
  if (span_.video && next_frame_ <= span_.frames.last) {
    request->kind = PlannedRequest::Kind::kFrame;
    request->frame = static_cast<int32_t>(next_frame_++);
    return true;
  }
  return next_audio_before(span_.audio_end, request);
}

}  // namespace quorvel::client
