#include "apps/fetch/video_writer.h"

#include "client/stream_info_check.h"

namespace quorvel::client {

namespace {

const char* field_order_words(FieldOrder order) {
  return order == FieldOrder::kTopFieldFirst ? "interlaced, top field first (It)"
                                             : "interlaced, bottom field first (Ib)";
}

}  // namespace

bool VideoWriter::write(const FetchReply& reply) {
  if (!setup_.output->is_open() && !start()) return false;
  const ReceivedFrame& frame = reply.frame;
  const uint8_t* yuy2 = frame.payload.data();
  if (frame.record.compression != kCompressionNone) {
    const DecodeResult result = decoder_.decode(frame.record, frame.payload.data());
    if (result != DecodeResult::kOk) {
      end_.error = FrameDecoder::problem(frame.record, result);
      return false;
    }
    yuy2 = decoder_.frame();
  }
  const bool ok = write_frame(yuy2);
  decoder_.release();
  if (!ok) return false;
  ++frames_written_;
  if (setup_.progress != nullptr) setup_.progress->update(frames_written_, reply.bytes_received);
  return true;
}

bool VideoWriter::write_frame(const uint8_t* yuy2) {
  const StreamInfoRecord& info = setup_.info;
  if (setup_.raw) {
    return write_output(setup_.output, &end_, yuy2,
                        static_cast<uint64_t>(stream_frame_bytes(info)));
  }
  yuy2_to_planar_422(yuy2, info.width, info.height, &planar_);
  return write_output(setup_.output, &end_, kY4mFrameHeader, sizeof kY4mFrameHeader - 1) &&
         write_output(setup_.output, &end_, planar_.data(), planar_.size());
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
