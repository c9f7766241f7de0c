#include "apps/fetch/video_writer.h"

#include "client/stream_info_check.h"

namespace quorvel::client {

namespace {

const char* field_order_words(FieldOrder order) {
  return order == FieldOrder::kTopFieldFirst ? "interlaced, top field first (It)"
                                             : "interlaced, bottom field first (Ib)";
}

}  // namespace

void VideoWriter::prepare(const FetchReply& reply, size_t thread) {
  Lane& lane = lanes_[thread];
  const ReceivedFrame& frame = reply.frame;
  lane.yuy2 = frame.payload.data();
  lane.result = DecodeResult::kOk;
  if (frame.record.compression != kCompressionNone) {
    lane.result = lane.decoder.decode(frame.record, frame.payload.data());
    if (lane.result != DecodeResult::kOk) return;
    lane.yuy2 = lane.decoder.frame();
  }
  if (!setup_.raw) {
    yuy2_to_planar_422(lane.yuy2, setup_.info.width, setup_.info.height, &lane.planar);
    lane.decoder.release();
  }
}

bool VideoWriter::write(const FetchReply& reply, size_t thread) {
  Lane& lane = lanes_[thread];
  if (!setup_.output->is_open() && !start()) return false;
  if (lane.result != DecodeResult::kOk) {
    end_.error = FrameDecoder::problem(reply.frame.record, lane.result);
    return false;
  }
  const bool ok = write_frame(lane);
  lane.decoder.release();
  if (!ok) return false;
  ++frames_written_;
  if (setup_.progress != nullptr) setup_.progress->update(frames_written_, reply.bytes_received);
  return true;
}

bool VideoWriter::write_frame(const Lane& lane) {
  if (setup_.raw) {
    return write_output(setup_.output, &end_, lane.yuy2,
                        static_cast<uint64_t>(stream_frame_bytes(setup_.info)));
  }
  return write_output(setup_.output, &end_, kY4mFrameHeader, sizeof kY4mFrameHeader - 1) &&
         write_output(setup_.output, &end_, lane.planar.data(), lane.planar.size());
}

// Creates the file and writes the Y4M stream header.
bool VideoWriter::start() {
  const StreamInfoRecord& info = setup_.info;
  format_ = {info.width,        info.height, info.rate, info.scale, FieldOrder::kProgressive,
             setup_.frame_count};
  if (!open_output(setup_.output, &end_)) return false;
  if (setup_.raw) return true;
  const FieldOrder order = resolve_field_order(setup_.field_order, info.image_type);
  if (setup_.field_order == FieldOrder::kAuto && order != FieldOrder::kProgressive &&
      setup_.notice != nullptr) {
    setup_.notice(setup_.notice_context,
                  std::string("the stream says ") + field_order_words(order) +
                      "; use --field-order progressive if the video is not interlaced");
  }
  format_.field_order = order;
  header_ = y4m_stream_header(format_);
  return write_output(setup_.output, &end_, header_.data(), header_.size());
}

VideoWritten VideoWriter::written() const {
  return VideoWritten{header_, format_, static_cast<uint64_t>(stream_frame_bytes(setup_.info)),
                      frames_written_};
}

}  // namespace quorvel::client
