#include "apps/fetch/fetch_job.h"

#include <algorithm>
#include <chrono>
#include <deque>
#include <memory>
#include <vector>

#include "apps/fetch/audio_writer.h"
#include "apps/fetch/fetch_reply.h"
#include "apps/fetch/ordered_worker.h"
#include "apps/fetch/output_mend.h"
#include "apps/fetch/request_plan.h"
#include "apps/fetch/video_writer.h"
#include "client/stream_info_check.h"

namespace quorvel::client {

namespace {

// Replies received and waiting to be written, per output, beyond the requests in flight:
// enough that the receiving thread rarely waits, few enough that memory stays at a few
// frames.
constexpr size_t kRepliesWaiting = 2;
// How long the receiving thread waits at a time for an output that is behind.
constexpr auto kWriterWait = std::chrono::milliseconds(50);
// The audio asked for at a time when the audio of the frames written is fetched after an
// early end.
constexpr int64_t kMissingAudioRequestBytes = 1 << 20;

using Writer = OrderedWorker<FetchReply>;

class FetchRun {
 public:
  FetchRun(DeliveryClient& client, const FetchPlan& plan, const FetchSinks& sinks)
      : client_(client),
        plan_(plan),
        sinks_(sinks),
        video_out_(sinks.video),
        audio_out_(sinks.audio) {}

  FetchOutcome run() {
    for (OutputFile* output : {video_out_, audio_out_}) {
      if (output != nullptr) output->set_stop_check(plan_.stop);
    }
    if (prepare()) transfer();
    mend();
    conclude();
    if (sinks_.progress != nullptr)
      sinks_.progress->finish(outcome_.frames_written, client_.bytes_received());
    if (client_.connected()) {
      if (stop() == Stop::kNow) {
        client_.abandon();
      } else {
        client_.disconnect();
      }
    }
    return outcome_;
  }

 private:
  Stop stop() const { return plan_.stop != nullptr ? plan_.stop() : Stop::kNone; }

  // The receiving side's failure (the server's, or the stream's), the first one met.
  bool failed(const std::string& message) {
    if (receive_error_.empty()) receive_error_ = message;
    return false;
  }
  bool client_failed() { return failed(client_.error()); }

  void notify(const std::string& text) const {
    if (sinks_.notice != nullptr) sinks_.notice(sinks_.notice_context, text);
  }

  bool prepare() {
    if (!client_.get_stream_info(&info_)) return client_failed();
    if (video_out_ != nullptr && !has_video(info_)) return failed("the stream has no video");
    if (audio_out_ != nullptr && !has_audio(info_)) {
      if (video_out_ == nullptr) return failed("the stream has no audio");
      // The video is still worth having; no empty WAV file is left behind.
      notify("the stream has no audio; writing the video only, no " + audio_out_->name());
      audio_out_ = nullptr;
    }
    if (has_video(info_)) {
      std::string problem;
      if (!resolve_frame_range(plan_.frames, info_.frame_count, &range_, &problem))
        return failed(problem);
      frame_count_ = range_.last - range_.first + 1;
      if (video_out_ != nullptr) outcome_.frames_planned = frame_count_;
    }
    if (has_audio(info_)) choose_audio_span();
    if (audio_out_ != nullptr) outcome_.audio_samples_planned = audio_end_ - audio_first_;
    if (video_out_ != nullptr && plan_.set_compression &&
        !client_.set_compression(plan_.compression_mask)) {
      return client_failed();
    }
    return true;
  }

  // The samples that play during the frames chosen, when frames are written or chosen with
  // --frames, so that video and audio files end together; else all the stream's audio.
  void choose_audio_span() {
    audio_first_ = 0;
    audio_end_ = info_.sample_count;
    if ((plan_.frames_given || video_out_ != nullptr) && has_video(info_)) {
      audio_first_ = std::min(first_sample_of_frame(range_.first, info_), audio_end_);
      audio_end_ =
          std::min(first_sample_of_frame(static_cast<int64_t>(range_.last) + 1, info_), audio_end_);
    }
  }

  RequestSpan request_span() const {
    RequestSpan span;
    span.video = video_out_ != nullptr;
    span.frames = range_;
    span.audio = audio_out_ != nullptr;
    span.audio_first = audio_first_;
    span.audio_end = audio_end_;
    return span;
  }

  // Sends requests ahead of the replies, receives the replies in order and hands each to
  // its output's writing thread. An early end still gets the audio of the frames written
  // where the connection allows it.
  void transfer() {
    if (video_out_ != nullptr && sinks_.progress != nullptr) sinks_.progress->start(frame_count_);
    const size_t depth = static_cast<size_t>(std::max(1, plan_.requests_ahead));
    // Replies of one kind in flight and waiting: a writer's queue never fills, so a push
    // never waits for an output that is behind.
    const auto threads = static_cast<size_t>(std::max(1, plan_.decode_threads));
    held_most_ = depth + kRepliesWaiting + threads - 1;
    RequestPlan plan(info_, request_span());
    start_writers(threads);
    Writer video(
        held_most_, threads,
        [this](FetchReply& reply, size_t thread) { video_writer_->prepare(reply, thread); },
        [this](FetchReply& reply, size_t thread) { return video_writer_->write(reply, thread); });
    Writer audio(held_most_,
                 [this](FetchReply& reply, size_t) { return audio_writer_->write(reply); });
    std::deque<PlannedRequest> in_flight;
    bool sending = true;
    bool receiving = true;
    for (;;) {
      if (stop() != Stop::kNone) {
        outcome_.stopped = true;
        break;
      }
      if (video.stopped() || audio.stopped()) break;
      sending = sending && send_ahead(&plan, &in_flight, depth, video, audio);
      if (in_flight.empty()) {
        if (!sending || plan.done()) break;
        (video.backlog() > 0 ? video : audio).wait_for_progress(kWriterWait);
        continue;
      }
      const PlannedRequest request = in_flight.front();
      in_flight.pop_front();
      Writer& writer = request.kind == PlannedRequest::Kind::kFrame ? video : audio;
      FetchReply reply = writer.take_spare();
      reply.request = request;
      receiving = receive(&reply);
      if (!receiving) break;
      reply.bytes_received = client_.bytes_received();
      writer.push(std::move(reply));
    }
    video.finish();
    const bool complete = plan.done() && in_flight.empty() && receiving && sending &&
                          !outcome_.stopped && !video.stopped() && !audio.stopped();
    if (!complete) {
      const uint64_t wanted = audio_of_frames_written();
      drain(&in_flight, wanted, audio);
      fetch_missing_audio(plan.audio_asked(), wanted, audio);
    }
    audio.finish();
    if (!receiving || !sending) client_failed();
  }

  // Sends planned requests until depth are in flight; false when a request could not go out.
  bool send_ahead(RequestPlan* plan, std::deque<PlannedRequest>* in_flight, size_t depth,
                  const Writer& video, const Writer& audio) {
    while (in_flight->size() < depth) {
      const auto frames = static_cast<size_t>(
          std::count_if(in_flight->begin(), in_flight->end(), [](const PlannedRequest& request) {
            return request.kind == PlannedRequest::Kind::kFrame;
          }));
      RequestKinds wanted;
      wanted.frames = frames + video.backlog() < held_most_;
      wanted.audio = in_flight->size() - frames + audio.backlog() < held_most_;
      PlannedRequest request;
      if (!plan->next(&request, wanted)) return true;
      if (!send(request)) return false;
      in_flight->push_back(request);
    }
    return true;
  }

  bool send(const PlannedRequest& request) {
    return request.kind == PlannedRequest::Kind::kFrame
               ? client_.request_frame(request.frame)
               : client_.request_audio(static_cast<int64_t>(request.first_sample),
                                       request.sample_count);
  }

  bool receive(FetchReply* reply) {
    if (reply->request.kind == PlannedRequest::Kind::kFrame)
      return client_.receive_frame(reply->request.frame, &reply->frame);
    return client_.receive_audio(reply->request.sample_count, &reply->audio);
  }

  // Whether replies may still be read: not after a failed receive. Once the user insists on
  // stopping now, a receive takes only what has arrived already (ClientSocket waits for
  // nothing more then), and the server is asked nothing more.
  bool can_read() const { return client_.status() == ClientStatus::kOk && client_.connected(); }
  bool can_ask() const { return can_read() && stop() != Stop::kNow; }

  // One past the last sample that plays during the frames written; 0 without video, whose
  // audio needs nothing more after an early end. REQUIRES: the video's thread has finished.
  uint64_t audio_of_frames_written() const {
    if (video_writer_ == nullptr || audio_writer_ == nullptr) return 0;
    const uint64_t end =
        first_sample_of_frame(range_.first + video_writer_->frames_written(), info_);
    return std::min(end, audio_end_);
  }

  // The writing threads' work, each writer owning what it touches.
  void start_writers(size_t video_threads) {
    if (video_out_ != nullptr) {
      VideoSetup setup;
      setup.output = video_out_;
      setup.info = info_;
      setup.frame_count = frame_count_;
      setup.raw = plan_.raw_video;
      setup.field_order = plan_.field_order;
      setup.progress = sinks_.progress;
      setup.notice = sinks_.notice;
      setup.notice_context = sinks_.notice_context;
      video_writer_ = std::make_unique<VideoWriter>(setup, video_threads);
    }
    if (audio_out_ != nullptr) {
      audio_writer_ = std::make_unique<AudioWriter>(
          AudioSetup{audio_out_, info_.channels, info_.audio_rate, audio_end_ - audio_first_});
    }
  }

  // Reads the replies on their way, so that Disconnect comes after the replies the server
  // is sending (after a second stop, only those that have arrived); the audio among them
  // that plays during the frames written is written.
  void drain(std::deque<PlannedRequest>* in_flight, uint64_t wanted, Writer& audio) {
    FetchReply dropped;
    while (!in_flight->empty() && can_read()) {
      const PlannedRequest request = in_flight->front();
      in_flight->pop_front();
      const bool keep = request.kind == PlannedRequest::Kind::kAudio &&
                        request.first_sample < wanted && !audio.stopped();
      FetchReply reply = keep ? audio.take_spare() : std::move(dropped);
      reply.request = request;
      if (!receive(&reply)) return;
      if (!keep) {
        dropped = std::move(reply);
        continue;
      }
      const uint64_t end = reply.request.first_sample + static_cast<uint64_t>(request.sample_count);
      if (end > wanted) {
        reply.request.sample_count = static_cast<int64_t>(wanted - reply.request.first_sample);
        reply.audio.resize(static_cast<size_t>(reply.request.sample_count) *
                           static_cast<size_t>(info_.channels) * 2);
      }
      audio.push(std::move(reply));
    }
  }

  // The audio of the frames written that was never asked for (the frames ran ahead of it).
  void fetch_missing_audio(uint64_t asked, uint64_t wanted, Writer& audio) {
    const auto per_request = static_cast<uint64_t>(
        std::max<int64_t>(1, kMissingAudioRequestBytes / std::max(2, info_.channels * 2)));
    for (uint64_t next = asked; next < wanted && can_ask() && !audio.stopped();) {
      FetchReply reply = audio.take_spare();
      reply.request.kind = PlannedRequest::Kind::kAudio;
      reply.request.first_sample = next;
      reply.request.sample_count = static_cast<int64_t>(std::min(wanted - next, per_request));
      if (!send(reply.request) || !receive(&reply)) return;
      next += static_cast<uint64_t>(reply.request.sample_count);
      audio.push(std::move(reply));
    }
  }

  // After both writing threads are done: regular files that ended early say what they
  // hold, and the audio ends with the video's last frame.
  void mend() {
    std::string problem;
    if (video_writer_ != nullptr && video_out_->is_open() &&
        !mend_video(video_out_, video_writer_->written(), &problem)) {
      mend_error_ = problem;
    }
    uint64_t held = audio_writer_ != nullptr ? audio_writer_->samples_written() : 0;
    if (audio_writer_ != nullptr && video_writer_ != nullptr) {
      const uint64_t wanted =
          audio_of_frames_written() - std::min(audio_first_, audio_of_frames_written());
      outcome_.audio_samples_missing = wanted - std::min(wanted, held);
      if (audio_out_->is_open() && audio_out_->is_regular_file()) held = std::min(held, wanted);
    }
    if (audio_writer_ != nullptr && audio_out_->is_open() &&
        !mend_audio(audio_out_, audio_writer_->written(held), &problem) && mend_error_.empty()) {
      mend_error_ = problem;
    }
    outcome_.frames_written = video_writer_ != nullptr ? video_writer_->frames_written() : 0;
    outcome_.audio_samples_written = held;
  }

  // The run's end as the sequence met it: an output's failure first (it works on earlier
  // replies), then the receiver's, then the mend's. A reader that went away ends the run
  // early but cleanly, and so does a stop, whatever it did to a wait for the server.
  void conclude() {
    const OutputEnd none;
    const OutputEnd& video = video_writer_ != nullptr ? video_writer_->end() : none;
    const OutputEnd& audio = audio_writer_ != nullptr ? audio_writer_->end() : none;
    outcome_.reader_closed = video.reader_closed || audio.reader_closed;
    outcome_.stopped = outcome_.stopped || video.stopped || audio.stopped;
    const std::string receive_error = outcome_.stopped ? std::string() : receive_error_;
    const std::string* const errors[] = {&video.error, &audio.error, &receive_error, &mend_error_};
    for (const std::string* error : errors) {
      if (outcome_.error.empty()) outcome_.error = *error;
    }
    outcome_.ok = outcome_.error.empty();
  }

  DeliveryClient& client_;
  const FetchPlan& plan_;
  const FetchSinks& sinks_;
  OutputFile* const video_out_;  // null when no video is written
  OutputFile* audio_out_;        // null when no audio is written (or the stream has none)
  FetchOutcome outcome_;
  StreamInfoRecord info_;
  FrameRange range_;
  int32_t frame_count_ = 0;  // in range_
  uint64_t audio_first_ = 0;
  uint64_t audio_end_ = 0;
  size_t held_most_ = 0;
  std::string receive_error_;
  std::string mend_error_;
  // Each made before its thread starts, and read by the run once that thread has finished.
  std::unique_ptr<VideoWriter> video_writer_;
  std::unique_ptr<AudioWriter> audio_writer_;
};

}  // namespace

FetchOutcome run_fetch(DeliveryClient& client, const FetchPlan& plan, const FetchSinks& sinks) {
  return FetchRun(client, plan, sinks).run();
}

}  // namespace quorvel::client
