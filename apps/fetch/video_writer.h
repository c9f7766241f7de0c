// VideoWriter: the work of the video's writing thread. Each frame reply is decoded through
// the codec it names, converted to Y4M's planes (or kept as packed YUY2 bytes) and written;
// the file is created, and its stream header written, with the first frame, so that a run
// that fails before it leaves an existing file alone. The writer owns everything it
// touches; the run reads what it wrote once the thread has finished.
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
  explicit VideoWriter(const VideoSetup& setup) : setup_(setup) {}

  // On the writing thread. False when the output takes no more; end() says why.
  bool write(const FetchReply& reply);

  // Once the writing thread has finished.
  int64_t frames_written() const { return frames_written_; }
  const OutputEnd& end() const { return end_; }
  // What the file holds, for mend_video.
  VideoWritten written() const;

 private:
  bool start();
  bool write_frame(const uint8_t* yuy2);

  const VideoSetup setup_;
  OutputEnd end_;
  int64_t frames_written_ = 0;
  Y4mStreamFormat format_;
  std::string header_;
  FrameDecoder decoder_;
  std::vector<uint8_t> planar_;
};

}  // namespace quorvel::client

#endif  // QUORVEL_APPS_FETCH_VIDEO_WRITER_H_
