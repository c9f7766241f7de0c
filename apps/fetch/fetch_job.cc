#include "apps/fetch/fetch_job.h"

#include <algorithm>
#include <vector>

#include "apps/fetch/stream_info_check.h"
#include "apps/fetch/wav_writer.h"
#include "apps/fetch/y4m_writer.h"

namespace quorvel::client {

namespace {

// Audio beyond the video's last frame is asked for in requests of at most this many bytes.
constexpr int64_t kAudioRequestBytes = 1 << 20;

const char* field_order_words(FieldOrder order) {
  return order == FieldOrder::kTopFieldFirst ? "interlaced, top field first (It)"
                                             : "interlaced, bottom field first (Ib)";
}

class FetchRun {
 public:
  FetchRun(DeliveryClient& client, const FetchPlan& plan, const FetchSinks& sinks)
      : client_(client), plan_(plan), sinks_(sinks) {}

  FetchOutcome run() {
    if (prepare() && fetch_frames() && fetch_audio_up_to(audio_end_) && open_outputs()) {
      outcome_.ok = true;
    }
    mend_frame_count();
    if (sinks_.progress != nullptr)
      sinks_.progress->finish(outcome_.frames_written, client_.bytes_received());
    if (client_.connected()) client_.disconnect();
    return outcome_;
  }

 private:
  bool failed(const std::string& message) {
    outcome_.error = message;
    return false;
  }
  bool client_failed() { return failed(client_.error()); }

  bool wrote(OutputFile* file, const void* data, uint64_t length) {
    switch (file->write(data, length)) {
      case WriteResult::kOk:
        return true;
      case WriteResult::kReaderClosed:
        // The reader has what it wants: an early but clean end.
        outcome_.reader_closed = true;
        outcome_.ok = true;
        return false;
      case WriteResult::kError:
        break;
    }
    return failed("cannot write " + file->name() + ": " + file->last_error());
  }

  bool prepare() {
    if (!client_.get_stream_info(&info_)) return client_failed();
    if (sinks_.video != nullptr && !has_video(info_)) return failed("the stream has no video");
    if (sinks_.audio != nullptr && !has_audio(info_)) return failed("the stream has no audio");
    if (has_video(info_)) {
      std::string problem;
      if (!resolve_frame_range(plan_.frames, info_.frame_count, &range_, &problem))
        return failed(problem);
    }
    if (has_audio(info_)) choose_audio_span();
    if (sinks_.video != nullptr && plan_.set_compression &&
        !client_.set_compression(plan_.compression_mask)) {
      return client_failed();
    }
    return true;
  }

  // All the stream's audio, or with --frames the samples that play during those frames.
  void choose_audio_span() {
    audio_next_ = 0;
    audio_end_ = info_.sample_count;
    if (plan_.frames_given && has_video(info_)) {
      audio_next_ = std::min(first_sample_of_frame(range_.first, info_), audio_end_);
      audio_end_ =
          std::min(first_sample_of_frame(static_cast<int64_t>(range_.last) + 1, info_), audio_end_);
    }
    audio_first_ = audio_next_;
  }

  // Creates the outputs and writes their headers, once the first frame (or, without video,
  // the first audio) is in hand: a run that fails before that leaves existing files alone.
  bool open_outputs() {
    if (outputs_open_) return true;
    outputs_open_ = true;
    for (OutputFile* output : {sinks_.video, sinks_.audio}) {
      std::string problem;
      if (output != nullptr && !output->open(&problem)) return failed(problem);
    }
    return write_headers();
  }

  bool write_headers() {
    if (sinks_.video != nullptr && !plan_.raw_video) {
      const FieldOrder order = resolve_field_order(plan_.field_order, info_.image_type);
      if (plan_.field_order == FieldOrder::kAuto && order != FieldOrder::kProgressive &&
          sinks_.notice != nullptr) {
        sinks_.notice(sinks_.notice_context,
                      std::string("the stream says ") + field_order_words(order) +
                          "; use --field-order progressive if the video is not interlaced");
      }
      y4m_format_ = {info_.width, info_.height, info_.rate,
                     info_.scale, order,        range_.last - range_.first + 1};
      y4m_header_ = y4m_stream_header(y4m_format_);
      if (!wrote(sinks_.video, y4m_header_.data(), y4m_header_.size())) return false;
    }
    if (sinks_.audio != nullptr) {
      std::vector<uint8_t> header;
      if (!wav_header(info_.channels, info_.audio_rate, audio_end_ - audio_first_, &header)) {
        return failed("the audio is too long for a WAV file");
      }
      if (!wrote(sinks_.audio, header.data(), header.size())) return false;
    }
    return true;
  }

  bool fetch_frames() {
    if (sinks_.video == nullptr) return true;
    if (sinks_.progress != nullptr) sinks_.progress->start(range_.last - range_.first + 1);
    for (int64_t n = range_.first; n <= range_.last; ++n) {
      if (!client_.get_frame(static_cast<int32_t>(n), &frame_)) return client_failed();
      if (!open_outputs() || !write_frame()) return false;
      ++outcome_.frames_written;
      // The audio that plays during this frame, so both outputs grow together.
      if (!fetch_audio_up_to(std::min(first_sample_of_frame(n + 1, info_), audio_end_)))
        return false;
      if (sinks_.progress != nullptr)
        sinks_.progress->update(outcome_.frames_written, client_.bytes_received());
    }
    return true;
  }

  bool write_frame() {
    if (plan_.raw_video) return wrote(sinks_.video, frame_.data(), frame_.size());
    yuy2_to_planar_422(frame_.data(), info_.width, info_.height, &planar_);
    return wrote(sinks_.video, kY4mFrameHeader, sizeof kY4mFrameHeader - 1) &&
           wrote(sinks_.video, planar_.data(), planar_.size());
  }

  bool fetch_audio_up_to(uint64_t end) {
    if (sinks_.audio == nullptr) return true;
    const int64_t samples_per_request =
        std::max<int64_t>(1, kAudioRequestBytes / (info_.channels * 2));
    while (audio_next_ < end) {
      const int64_t count =
          std::min<int64_t>(static_cast<int64_t>(end - audio_next_), samples_per_request);
      if (!client_.get_audio(static_cast<int64_t>(audio_next_), count, &audio_))
        return client_failed();
      if (!open_outputs() || !wrote(sinks_.audio, audio_.data(), audio_.size())) return false;
      audio_next_ += static_cast<uint64_t>(count);
      outcome_.audio_samples_written += static_cast<uint64_t>(count);
    }
    return true;
  }

  // A Y4M file that ends early says so: its XLENGTH becomes the frames it holds. The new
  // count has no more digits than the old, so the header keeps its length (padded with
  // spaces, which readers skip between tags) and the frames stay where they are.
  void mend_frame_count() {
    OutputFile* video = sinks_.video;
    if (video == nullptr || !video->is_open() || y4m_header_.empty() ||
        outcome_.frames_written >= y4m_format_.frame_count || !video->is_regular_file()) {
      return;
    }
    Y4mStreamFormat written = y4m_format_;
    written.frame_count = static_cast<int32_t>(outcome_.frames_written);
    std::string header = y4m_stream_header(written);
    header.insert(header.size() - 1, y4m_header_.size() - header.size(), ' ');
    if (video->write_at(0, header.data(), header.size()) != WriteResult::kOk &&
        outcome_.error.empty()) {
      outcome_.ok = false;
      outcome_.error =
          "cannot correct the frame count of " + video->name() + ": " + video->last_error();
    }
  }

  DeliveryClient& client_;
  const FetchPlan& plan_;
  const FetchSinks& sinks_;
  FetchOutcome outcome_;
  StreamInfoRecord info_;
  FrameRange range_;
  bool outputs_open_ = false;
  Y4mStreamFormat y4m_format_;
  std::string y4m_header_;
  uint64_t audio_first_ = 0;
  uint64_t audio_next_ = 0;
  uint64_t audio_end_ = 0;
  std::vector<uint8_t> frame_;
  std::vector<uint8_t> planar_;
  std::vector<uint8_t> audio_;
};

}  // namespace

uint64_t first_sample_of_frame(int64_t frame, const StreamInfoRecord& info) {
  if (frame <= 0 || info.rate == 0) return 0;
  // Up to 2^31 * 2^31 * 2^32: needs more than 64 bits.
  const unsigned __int128 product =
      static_cast<unsigned __int128>(frame) * static_cast<uint64_t>(info.audio_rate) * info.scale;
  const unsigned __int128 sample = product / info.rate;
  return sample > UINT64_MAX ? UINT64_MAX : static_cast<uint64_t>(sample);
}

FetchOutcome run_fetch(DeliveryClient& client, const FetchPlan& plan, const FetchSinks& sinks) {
  return FetchRun(client, plan, sinks).run();
}

}  // namespace quorvel::client
