#include "apps/fetch/fetch_job.h"

#include <algorithm>
#include <deque>
#include <vector>

#include "apps/fetch/frame_decoder.h"
#include "apps/fetch/ordered_worker.h"
#include "apps/fetch/request_plan.h"
#include "apps/fetch/stream_info_check.h"
#include "apps/fetch/wav_writer.h"
#include "apps/fetch/y4m_writer.h"

namespace quorvel::client {

namespace {

// Replies received and waiting to be decoded and written: enough that the receiving thread
// rarely waits, few enough that memory stays at a few frames.
constexpr size_t kRepliesWaiting = 2;

// A reply as the receiving thread hands it to the writing thread.
struct Reply {
  PlannedRequest request;
  ReceivedFrame frame;          // kFrame
  std::vector<uint8_t> audio;   // kAudio
  uint64_t bytes_received = 0;  // by the client when this reply was in, for the progress line
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
    if (prepare() && transfer() && open_outputs()) outcome_.ok = true;
    mend_frame_count();
    mend_audio_sizes();
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

  // Creates the outputs and writes their headers, once the first frame (or, without video,
  // the first audio) is in hand: a run that fails before that leaves existing files alone.
  bool open_outputs() {
    if (outputs_open_) return true;
    outputs_open_ = true;
    for (OutputFile* output : {sinks_.video, audio_}) {
      std::string problem;
      if (output != nullptr && !output->open(&problem)) return failed(problem);
    }
    return write_headers();
  }

  bool write_headers() {
    if (sinks_.video != nullptr && !plan_.raw_video) {
      const FieldOrder order = resolve_field_order(plan_.field_order, info_.image_type);
      if (plan_.field_order == FieldOrder::kAuto && order != FieldOrder::kProgressive) {
        notify(std::string("the stream says ") + field_order_words(order) +
               "; use --field-order progressive if the video is not interlaced");
      }
      y4m_format_ = {info_.width, info_.height, info_.rate,
                     info_.scale, order,        range_.last - range_.first + 1};
      y4m_header_ = y4m_stream_header(y4m_format_);
      if (!wrote(sinks_.video, y4m_header_.data(), y4m_header_.size())) return false;
    }
    if (audio_ != nullptr) {
      std::vector<uint8_t> header;
      if (!wav_header(info_.channels, info_.audio_rate, audio_end_ - audio_first_, &header)) {
        return failed("the audio is too long for a WAV file");
      }
      if (!wrote(audio_, header.data(), header.size())) return false;
    }
    return true;
  }

  // Sends requests up to the depth ahead of the replies, receives the replies in order and
  // hands them to the writing thread, which decodes, converts and writes them in that order.
  // A failure is reported as the sequence met it: the writer's first (it works on earlier
  // replies), else the receiver's.
  bool transfer() {
    if (sinks_.video != nullptr && sinks_.progress != nullptr)
      sinks_.progress->start(range_.last - range_.first + 1);
    RequestPlan plan(info_, request_span());
    std::deque<PlannedRequest> in_flight;
    OrderedWorker<Reply> writer(kRepliesWaiting, [this](Reply& reply) { return consume(reply); });
    bool sending = true;
    bool receiving = true;
    while (!writer.stopped()) {
      if (plan_.stop_requested != nullptr && plan_.stop_requested()) {
        outcome_.stopped = true;
        break;
      }
      sending = sending && send_ahead(&plan, &in_flight);
      if (in_flight.empty()) break;
      Reply reply = writer.take_spare();
      reply.request = in_flight.front();
      in_flight.pop_front();
      receiving = receive(&reply);
      if (!receiving) break;
      reply.bytes_received = client_.bytes_received();
      writer.push(std::move(reply));
    }
    writer.finish();
    if (writer.stopped() || outcome_.stopped) {
      // The writer failed or its reader went away, or the user stopped the run: read what
      // is on its way, so that Disconnect comes after the replies the server is sending.
      drain(&in_flight);
      if (!writer.stopped()) outcome_.ok = true;  // stopped by the user: an early, clean end
      return false;
    }
    if (!receiving || !sending) return client_failed();
    return true;
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

  // Sends planned requests until depth are in flight; false when a request could not go out.
  bool send_ahead(RequestPlan* plan, std::deque<PlannedRequest>* in_flight) {
    const size_t depth = static_cast<size_t>(std::max(1, plan_.requests_ahead));
    PlannedRequest request;
    while (in_flight->size() < depth && plan->next(&request)) {
      const bool sent = request.kind == PlannedRequest::Kind::kFrame
                            ? client_.request_frame(request.frame)
                            : client_.request_audio(static_cast<int64_t>(request.first_sample),
                                                    request.sample_count);
      if (!sent) return false;
      in_flight->push_back(request);
    }
    return true;
  }

  bool receive(Reply* reply) {
    if (reply->request.kind == PlannedRequest::Kind::kFrame)
      return client_.receive_frame(reply->request.frame, &reply->frame);
    return client_.receive_audio(reply->request.sample_count, &reply->audio);
  }

  void drain(std::deque<PlannedRequest>* in_flight) {
    Reply reply;
    while (!in_flight->empty() && client_.status() == ClientStatus::kOk) {
      reply.request = in_flight->front();
      in_flight->pop_front();
      if (!receive(&reply)) return;
    }
  }

  // On the writing thread: one reply into the outputs.
  bool consume(Reply& reply) {
    if (!open_outputs()) return false;
    if (reply.request.kind == PlannedRequest::Kind::kAudio) {
      if (!wrote(audio_, reply.audio.data(), reply.audio.size())) return false;
      outcome_.audio_samples_written += static_cast<uint64_t>(reply.request.sample_count);
      return true;
    }
    if (!write_frame(reply.frame)) return false;
    ++outcome_.frames_written;
    if (sinks_.progress != nullptr)
      sinks_.progress->update(outcome_.frames_written, reply.bytes_received);
    return true;
  }

  bool write_frame(const ReceivedFrame& frame) {
    const uint8_t* yuy2 = frame.payload.data();
    if (frame.record.compression != kCompressionNone) {
      const DecodeResult result = decoder_.decode(frame.record, frame.payload.data());
      if (result != DecodeResult::kOk) return failed(FrameDecoder::problem(frame.record, result));
      yuy2 = decoder_.frame();
    }
    const auto size = static_cast<uint64_t>(stream_frame_bytes(info_));
    bool ok;
    if (plan_.raw_video) {
      ok = wrote(sinks_.video, yuy2, size);
    } else {
      yuy2_to_planar_422(yuy2, info_.width, info_.height, &planar_);
      ok = wrote(sinks_.video, kY4mFrameHeader, sizeof kY4mFrameHeader - 1) &&
           wrote(sinks_.video, planar_.data(), planar_.size());
    }
    decoder_.release();
    return ok;
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

  // A WAV file that ends early says so: its sizes become those of the samples it holds.
  // The channel count is unchanged, so the header keeps its length.
  void mend_audio_sizes() {
    if (audio_ == nullptr || !audio_->is_open() || !audio_->is_regular_file() ||
        outcome_.audio_samples_written >= audio_end_ - audio_first_) {
      return;
    }
    std::vector<uint8_t> header;
    if (!wav_header(info_.channels, info_.audio_rate, outcome_.audio_samples_written, &header))
      return;
    if (audio_->write_at(0, header.data(), header.size()) != WriteResult::kOk &&
        outcome_.error.empty()) {
      outcome_.ok = false;
      outcome_.error =
          "cannot correct the sizes of " + audio_->name() + ": " + audio_->last_error();
    }
  }

  DeliveryClient& client_;
  const FetchPlan& plan_;
  const FetchSinks& sinks_;
  OutputFile* audio_;  // the audio sink, or null when the stream has no audio to write
  FetchOutcome outcome_;
  StreamInfoRecord info_;
  FrameRange range_;
  bool outputs_open_ = false;
  Y4mStreamFormat y4m_format_;
  std::string y4m_header_;
  uint64_t audio_first_ = 0;
  uint64_t audio_end_ = 0;
  // The writing thread's own.
  FrameDecoder decoder_;
  std::vector<uint8_t> planar_;
};

}  // namespace

FetchOutcome run_fetch(DeliveryClient& client, const FetchPlan& plan, const FetchSinks& sinks) {
  return FetchRun(client, plan, sinks).run();
}

}  // namespace quorvel::client
