#include "apps/fetch/request_plan.h"

#include <algorithm>

#include "util/multiply_divide.h"

namespace quorvel::client {

namespace {

// Audio beyond the video's last frame is asked for in requests of at most this many bytes.
constexpr int64_t kAudioRequestBytes = 1 << 20;

int64_t bytes_per_sample(const StreamInfoRecord& info) {
  // A stream without audio has no channels; its span asks for no audio.
  return std::max(2, info.channels * 2);
}

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
      samples_per_request_(std::max<int64_t>(1, kAudioRequestBytes / bytes_per_sample(info))),
      ahead_samples_(static_cast<uint64_t>(kAheadBytes / bytes_per_sample(info))),
      next_frame_(span.frames.first),
      next_sample_(span.audio_first) {}

uint64_t RequestPlan::frames_asked_end() const {
  return std::min(first_sample_of_frame(next_frame_, info_), span_.audio_end);
}

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

bool RequestPlan::next_audio_ahead(PlannedRequest* request) {
  // The frame during which the next sample plays, from the first frame not yet asked for.
  int64_t frame = next_frame_;
  while (frame <= span_.frames.last && first_sample_of_frame(frame + 1, info_) <= next_sample_)
    ++frame;
  const uint64_t end = std::min({first_sample_of_frame(frame + 1, info_), span_.audio_end,
                                 frames_asked_end() + ahead_samples_});
  return next_audio_before(end, request);
}

bool RequestPlan::done() const {
  return !(span_.video && next_frame_ <= span_.frames.last) &&
         !(span_.audio && next_sample_ < span_.audio_end);
}

bool RequestPlan::next(PlannedRequest* request, RequestKinds wanted) {
  const bool frames_left = span_.video && next_frame_ <= span_.frames.last;
  // The audio that plays during the frames given out comes before anything after them.
  if (wanted.audio && span_.video && next_audio_before(frames_asked_end(), request)) return true;
  if (frames_left && wanted.frames) {
    // Frames run ahead of audio held back by as much as the audio may lag, no more.
    const uint64_t lag = frames_asked_end() - std::min(next_sample_, frames_asked_end());
    if (!span_.audio || lag < ahead_samples_) {
      request->kind = PlannedRequest::Kind::kFrame;
      request->frame = static_cast<int32_t>(next_frame_++);
      return true;
    }
  }
  if (!wanted.audio) return false;
  return frames_left ? next_audio_ahead(request) : next_audio_before(span_.audio_end, request);
}

}  // namespace quorvel::client
