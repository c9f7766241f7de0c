// VideoWriter: the work of the video's threads. Each frame reply is decoded through the
// codec it names and converted to Y4M's planes (or kept as packed YUY2 bytes) by prepare(),
// on any of the threads, each with a decoder of its own; write() then writes the frames in
// order. The file is created, and its stream header written, with the first frame, so that
// a run that fails before it leaves an existing file alone. The writer owns everything it
// touches; the run reads what it wrote once the threads have finished.
#ifndef QUORVEL_APPS_FETCH_VIDEO_WRITER_H_
#define QUORVEL_APPS_FETCH_VIDEO_WRITER_H_

#include <cstdint>
#include <string>
#include <vector>

#include "apps/fetch/fetch_progress.h"
#include "apps/fetch/fetch_reply.h"
#include "apps/fetch/field_order.h"
#include "apps/fetch/output_end.h"
#include "apps/fetch/output_mend.h"
#include "apps/fetch/y4m_writer.h"
#include "client/frame_decoder.h"

namespace quorvel::client {

struct VideoSetup {
  OutputFile* output = nullptr;
  StreamInfoRecord info;    // checked, with video
  int32_t frame_count = 0;  // the frames the run sets out to write
  bool raw = false;         // packed YUY2 bytes instead of Y4M
  FieldOrder field_order = FieldOrder::kAuto;
  FetchProgress* progress = nullptr;  // may be null
  // The note that auto gave an interlaced order; may be null.
  void (*notice)(void* context, const std::string& text) = nullptr;
  void* notice_context = nullptr;
};

class VideoWriter {
 public:
  // REQUIRES: threads >= 1.
  VideoWriter(const VideoSetup& setup, size_t threads) : setup_(setup), lanes_(threads) {}

  // On thread `thread`, several at once on different replies.
  void prepare(const FetchReply& reply, size_t thread);
  // On the thread that prepared the reply, one at a time, in the frames' order. False when
  // the output takes no more; end() says why.
  bool write(const FetchReply& reply, size_t thread);

  // Once the writing thread has finished.
  int64_t frames_written() const { return frames_written_; }
  const OutputEnd& end() const { return end_; }
  // What the file holds, for mend_video.
  VideoWritten written() const;

 private:
  // What one thread keeps between a reply's prepare and its write.
  struct Lane {
    FrameDecoder decoder;
    std::vector<uint8_t> planar;
    const uint8_t* yuy2 = nullptr;  // the decoded frame, for raw output
    DecodeResult result = DecodeResult::kOk;
  };

  bool start();
  bool write_frame(const Lane& lane);

  const VideoSetup setup_;
  OutputEnd end_;
  int64_t frames_written_ = 0;
  Y4mStreamFormat format_;
  std::string header_;
  std::vector<Lane> lanes_;  // one a thread
};

}  // namespace quorvel::client

#endif  // QUORVEL_APPS_FETCH_VIDEO_WRITER_H_
