#include "apps/serve/stand_in_host.h"

#include <algorithm>

#include "wire/protocol.h"

namespace quorvel::serve {

StandInHost* StandInHost::active_ = nullptr;
volatile std::sig_atomic_t StandInHost::abort_flag_ = 0;

StandInHost::StandInHost(VideoSource* video, AudioSource* audio, const ProgressListener* progress)
    : video_(video), audio_(audio), progress_(progress) {
  if (video_ != nullptr) {
    const VideoFormat& format = video_->format();
    info_.flags |= QUORVEL_HOST_HAS_VIDEO;
    info_.width = format.width;
    info_.height = format.height;
    info_.rate = format.rate;
    info_.scale = format.scale;
    info_.frame_count = format.frame_count;
    info_.frame_size =
        static_cast<uint32_t>(format.width) * 2u * static_cast<uint32_t>(format.height);
    frame_.resize(info_.frame_size);
  }
  if (audio_ != nullptr) {
    const AudioFormat& format = audio_->format();
    info_.flags |= QUORVEL_HOST_HAS_AUDIO;
    info_.audio_rate = format.rate;
    info_.audio_channels = format.channels;
    info_.audio_samples = format.samples;
  }
  info_.get_audio = &StandInHost::get_audio;
  info_.is_aborted = &StandInHost::is_aborted;
  info_.show_progress = &StandInHost::show_progress;
  info_.notify_frame = &StandInHost::notify_frame;
  info_.get_frame = &StandInHost::get_frame;
  active_ = this;
}

StandInHost::~StandInHost() {
  if (active_ == this) active_ = nullptr;
}

void StandInHost::request_abort() {
  abort_flag_ = 1;
}
bool StandInHost::abort_requested() {
  return abort_flag_ != 0;
}

void* StandInHost::get_frame(int32_t frame_number, uint32_t format) {
  StandInHost* host = active_;
  if (host == nullptr || host->video_ == nullptr || format != QUORVEL_FOURCC_YUY2) return nullptr;
  const int32_t last = host->video_->format().frame_count - 1;
  if (last < 0) return nullptr;
  // Like the real host: a number outside the stream gives the nearest frame.
  std::string problem;
  if (!host->video_->render(std::clamp(frame_number, 0, last), host->frame_.data(), &problem)) {
    host->fail(problem);
    return nullptr;
  }
  ++host->frames_fetched_;
  return host->frame_.data();
}

void StandInHost::fail(const std::string& problem) {
  if (failure_.empty()) failure_ = problem;
  request_abort();
}

int64_t StandInHost::audio_samples_to_deliver(int32_t first_sample, int32_t sample_count,
                                              const AudioFormat& format) {
  const int64_t end = std::min<int64_t>(int64_t{first_sample} + sample_count, format.samples);
  if (sample_count <= 0 || end <= 0 || end <= first_sample) return 0;
  const int64_t largest_reply = (INT32_MAX - (1 + kAudioInfoSize)) / (int64_t{format.channels} * 2);
  return std::min(end - first_sample, largest_reply);
}

void* StandInHost::get_audio(int32_t first_sample, int32_t sample_count, int32_t* delivered) {
  StandInHost* host = active_;
  if (host == nullptr || host->audio_ == nullptr) return nullptr;
  const AudioFormat& format = host->audio_->format();
  const int64_t count = audio_samples_to_deliver(first_sample, sample_count, format);
  const int64_t block = int64_t{format.channels} * 2;
  host->audio_buffer_.resize(static_cast<size_t>(std::max<int64_t>(count, 1) * block));
  std::string problem;
  if (!host->audio_->read(first_sample, count, host->audio_buffer_.data(), &problem)) {
    // The session sends silence for what the host does not deliver; the run ends after it.
    host->fail(problem);
    if (delivered != nullptr) *delivered = 0;
    return nullptr;
  }
  if (delivered != nullptr) *delivered = static_cast<int32_t>(count);
  return host->audio_buffer_.data();
}

int32_t StandInHost::is_aborted() {
  return abort_flag_ != 0 ? 1 : 0;
}

int32_t StandInHost::show_progress(int32_t frame_number, int32_t frame_count) {
  StandInHost* host = active_;
  if (host != nullptr && host->progress_ != nullptr) {
    host->progress_->on_progress(host->progress_->context, frame_number, frame_count);
  }
  return 1;
}

int32_t StandInHost::notify_frame() {
  return 1;
}

}  // namespace quorvel::serve
