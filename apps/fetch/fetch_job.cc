#include "apps/fetch/fetch_job.h"

#include <algorithm>
#include <chrono>
#include <deque>
#include <vector>

#include "apps/fetch/ordered_worker.h"
#include "apps/fetch/output_mend.h"
#include "apps/fetch/request_plan.h"
#include "apps/fetch/wav_writer.h"
#include "apps/fetch/y4m_writer.h"
#include "client/frame_decoder.h"
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

// A reply as the receiving thread hands it to an output's writing thread.
struct Reply {
  PlannedRequest request;
  ReceivedFrame frame;          // kFrame
  std::vector<uint8_t> audio;   // kAudio
  uint64_t bytes_received = 0;  // by the client when this reply was in, for the progress line
};

using Writer = OrderedWorker<Reply>;

// How one output's writing ended, kept by its writing thread and read once it is done.
struct OutputEnd {
  bool reader_closed = false;
  bool stopped = false;  // a stop ended a wait on the output
  std::string error;     // a write or a decode failed
};

const char* field_order_words(FieldOrder order) {
  return order == FieldOrder::kTopFieldFirst ? "interlaced, top field first (It)"
                                             : "interlaced, bottom field first (Ib)";
}

class FetchRun {
 public:
  FetchRun(DeliveryClient& client, const FetchPlan& plan, const FetchSinks& sinks)
      : client_(client), plan_(plan), sinks_(sinks), audio_(sinks.audio) {}

  FetchOutcome run() {
    for (OutputFile* output : {sinks_.video, sinks_.audio}) {
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
    if (sinks_.video != nullptr && !has_video(info_)) return failed("the stream has no video");
    if (audio_ != nullptr && !has_audio(info_)) {
      if (sinks_.video == nullptr) return failed("the stream has no audio");
      // The video is still worth having; no empty WAV file is left behind.
      notify("the stream has no audio; writing the video only, no " + audio_->name());
      audio_ = nullptr;
    }
    if (has_video(info_)) {
      std::string problem;
      if (!resolve_frame_range(plan_.frames, info_.frame_count, &range_, &problem))
        return failed(problem);
      if (sinks_.video != nullptr) outcome_.frames_planned = range_.last - range_.first + 1;
    }
    if (has_audio(info_)) choose_audio_span();
    if (audio_ != nullptr) outcome_.audio_samples_planned = audio_end_ - audio_first_;
    if (sinks_.video != nullptr && plan_.set_compression &&
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
    if ((plan_.frames_given || sinks_.video != nullptr) && has_video(info_)) {
      audio_first_ = std::min(first_sample_of_frame(range_.first, info_), audio_end_);
      audio_end_ =
          std::min(first_sample_of_frame(static_cast<int64_t>(range_.last) + 1, info_), audio_end_);
    }
  }

  RequestSpan request_span() const {
    RequestSpan span;
    span.video = sinks_.video != nullptr;
    span.frames = range_;
    span.audio = audio_ != nullptr && has_audio(info_);
    span.audio_first = audio_first_;
    span.audio_end = audio_end_;
    return span;
  }

  // Sends requests ahead of the replies, receives the replies in order and hands each to
  // its output's writing thread. An early end still gets the audio of the frames written
  // where the connection allows it.
  void transfer() {
    if (sinks_.video != nullptr && sinks_.progress != nullptr)
      sinks_.progress->start(range_.last - range_.first + 1);
    const size_t depth = static_cast<size_t>(std::max(1, plan_.requests_ahead));
    // Replies of one kind in flight and waiting: a writer's queue never fills, so a push
    // never waits for an output that is behind.
    held_most_ = depth + kRepliesWaiting;
    RequestPlan plan(info_, request_span());
    Writer video(held_most_, [this](Reply& reply) { return write_frame(reply); });
    Writer audio(held_most_, [this](Reply& reply) { return write_audio(reply); });
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
      Reply reply = writer.take_spare();
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

  bool receive(Reply* reply) {
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
  // audio needs nothing more after an early end.
  uint64_t audio_of_frames_written() const {
    if (sinks_.video == nullptr || audio_ == nullptr) return 0;
    const uint64_t end = first_sample_of_frame(range_.first + frames_written_, info_);
    return std::min(end, audio_end_);
  }

  // Reads the replies on their way, so that Disconnect comes after the replies the server
  // is sending (after a second stop, only those that have arrived); the audio among them
  // that plays during the frames written is written.
  void drain(std::deque<PlannedRequest>* in_flight, uint64_t wanted, Writer& audio) {
    Reply dropped;
    while (!in_flight->empty() && can_read()) {
      const PlannedRequest request = in_flight->front();
      in_flight->pop_front();
      const bool keep = request.kind == PlannedRequest::Kind::kAudio &&
                        request.first_sample < wanted && !audio.stopped();
      Reply reply = keep ? audio.take_spare() : std::move(dropped);
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
      Reply reply = audio.take_spare();
      reply.request.kind = PlannedRequest::Kind::kAudio;
      reply.request.first_sample = next;
      reply.request.sample_count = static_cast<int64_t>(std::min(wanted - next, per_request));
      if (!send(reply.request) || !receive(&reply)) return;
      next += static_cast<uint64_t>(reply.request.sample_count);
      audio.push(std::move(reply));
    }
  }

  // On a writing thread: the output's writes, each ending as the output allows.
  static bool wrote(OutputFile* file, OutputEnd* end, const void* data, uint64_t length) {
    switch (file->write(data, length)) {
      case WriteResult::kOk:
        return true;
      case WriteResult::kReaderClosed:
        end->reader_closed = true;  // the reader has what it wants: an early but clean end
        return false;
      case WriteResult::kStopped:
        end->stopped = true;
        return false;
      case WriteResult::kError:
        break;
    }
    end->error = "cannot write " + file->name() + ": " + file->last_error();
    return false;
  }

  static bool opened(OutputFile* file, OutputEnd* end) {
    if (file->is_open()) return true;
    switch (file->open(&end->error)) {
      case WriteResult::kOk:
        return true;
      case WriteResult::kStopped:
        end->stopped = true;
        return false;
      case WriteResult::kReaderClosed:
      case WriteResult::kError:
        break;
    }
    return false;
  }

  // On the video's writing thread. The output is created with the first frame, so that a
  // run that fails before it leaves an existing file alone.
  bool write_frame(const Reply& reply) {
    OutputFile* video = sinks_.video;
    if (!video->is_open() && !(opened(video, &video_end_) && write_y4m_header())) return false;
    const ReceivedFrame& frame = reply.frame;
    const uint8_t* yuy2 = frame.payload.data();
    if (frame.record.compression != kCompressionNone) {
      const DecodeResult result = decoder_.decode(frame.record, frame.payload.data());
      if (result != DecodeResult::kOk) {
        video_end_.error = FrameDecoder::problem(frame.record, result);
        return false;
      }
      yuy2 = decoder_.frame();
    }
    const auto size = static_cast<uint64_t>(stream_frame_bytes(info_));
    bool ok;
    if (plan_.raw_video) {
      ok = wrote(video, &video_end_, yuy2, size);
    } else {
      yuy2_to_planar_422(yuy2, info_.width, info_.height, &planar_);
      ok = wrote(video, &video_end_, kY4mFrameHeader, sizeof kY4mFrameHeader - 1) &&
           wrote(video, &video_end_, planar_.data(), planar_.size());
    }
    decoder_.release();
    if (!ok) return false;
    ++frames_written_;
    if (sinks_.progress != nullptr) sinks_.progress->update(frames_written_, reply.bytes_received);
    return true;
  }

  bool write_y4m_header() {
    y4m_format_ = {info_.width,
                   info_.height,
                   info_.rate,
                   info_.scale,
                   FieldOrder::kProgressive,
                   range_.last - range_.first + 1};
    if (plan_.raw_video) return true;
    const FieldOrder order = resolve_field_order(plan_.field_order, info_.image_type);
    if (plan_.field_order == FieldOrder::kAuto && order != FieldOrder::kProgressive) {
      notify(std::string("the stream says ") + field_order_words(order) +
             "; use --field-order progressive if the video is not interlaced");
    }
    y4m_format_.field_order = order;
    y4m_header_ = y4m_stream_header(y4m_format_);
    return wrote(sinks_.video, &video_end_, y4m_header_.data(), y4m_header_.size());
  }

  // On the audio's writing thread; the WAV is created with the first samples.
  bool write_audio(const Reply& reply) {
    if (!audio_->is_open()) {
      std::vector<uint8_t> header;
      if (!wav_header(info_.channels, info_.audio_rate, audio_end_ - audio_first_, &header)) {
        audio_end_state_.error = "the audio is too long for a WAV file";
        return false;
      }
      if (!opened(audio_, &audio_end_state_) ||
          !wrote(audio_, &audio_end_state_, header.data(), header.size())) {
        return false;
      }
    }
    if (!wrote(audio_, &audio_end_state_, reply.audio.data(), reply.audio.size())) return false;
    audio_samples_written_ += static_cast<uint64_t>(reply.request.sample_count);
    return true;
  }

  // After both writing threads are done: regular files that ended early say what they
  // hold, and the audio ends with the video's last frame.
  void mend() {
    std::string problem;
    OutputFile* video = sinks_.video;
    if (video != nullptr && video->is_open()) {
      const VideoWritten written{y4m_header_, y4m_format_,
                                 static_cast<uint64_t>(stream_frame_bytes(info_)), frames_written_};
      if (!mend_video(video, written, &problem)) mend_error_ = problem;
    }
    uint64_t held = audio_samples_written_;
    if (audio_ != nullptr && sinks_.video != nullptr) {
      const uint64_t wanted =
          audio_of_frames_written() - std::min(audio_first_, audio_of_frames_written());
      outcome_.audio_samples_missing = wanted - std::min(wanted, held);
      if (audio_->is_open() && audio_->is_regular_file()) held = std::min(held, wanted);
    }
    if (audio_ != nullptr && audio_->is_open()) {
      const AudioWritten written{info_.channels, info_.audio_rate, audio_end_ - audio_first_, held};
      if (!mend_audio(audio_, written, &problem) && mend_error_.empty()) mend_error_ = problem;
    }
    outcome_.frames_written = frames_written_;
    outcome_.audio_samples_written = held;
  }

  // The run's end as the sequence met it: an output's failure first (it works on earlier
  // replies), then the receiver's, then the mend's. A reader that went away ends the run
  // early but cleanly, and so does a stop, whatever it did to a wait for the server.
  void conclude() {
    outcome_.reader_closed = video_end_.reader_closed || audio_end_state_.reader_closed;
    outcome_.stopped = outcome_.stopped || video_end_.stopped || audio_end_state_.stopped;
    std::string receive_error = outcome_.stopped ? std::string() : receive_error_;
    for (const std::string* error :
         {&video_end_.error, &audio_end_state_.error, &receive_error, &mend_error_}) {
      if (outcome_.error.empty()) outcome_.error = *error;
    }
    outcome_.ok = outcome_.error.empty();
  }

  DeliveryClient& client_;
  const FetchPlan& plan_;
  const FetchSinks& sinks_;
  OutputFile* audio_;  // the audio sink, or null when the stream has no audio to write
  FetchOutcome outcome_;
  StreamInfoRecord info_;
  FrameRange range_;
  uint64_t audio_first_ = 0;
  uint64_t audio_end_ = 0;
  size_t held_most_ = 0;
  std::string receive_error_;
  std::string mend_error_;
  // The video's writing thread's own, read by the run once it has finished.
  OutputEnd video_end_;
  int64_t frames_written_ = 0;
  Y4mStreamFormat y4m_format_;
  std::string y4m_header_;
  FrameDecoder decoder_;
  std::vector<uint8_t> planar_;
  // The audio's writing thread's own, likewise.
  OutputEnd audio_end_state_;
  uint64_t audio_samples_written_ = 0;
};

}  // namespace

FetchOutcome run_fetch(DeliveryClient& client, const FetchPlan& plan, const FetchSinks& sinks) {
  return FetchRun(client, plan, sinks).run();
}

}  // namespace quorvel::client
