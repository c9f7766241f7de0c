// FetchJob: the client's receive loop. Asks for the stream info, sets the compression,
// then fetches the chosen frames in order with the audio that plays during each, and
// writes them as Y4M (or raw YUY2) and WAV. Requests go out ahead of the replies (the
// server answers in order and finds the next request waiting), and replies are decoded and
// written on threads of their own while the next ones arrive. The program, the benchmark and the
// soak test drive the same loop; it reports through a FetchOutcome and prints nothing itself except
// through the progress line it is given.
#ifndef QUORVEL_APPS_FETCH_FETCH_JOB_H_
#define QUORVEL_APPS_FETCH_FETCH_JOB_H_

#include <cstdint>
#include <string>

#include "apps/fetch/fetch_progress.h"
#include "apps/fetch/field_order.h"
#include "apps/fetch/frame_range.h"
#include "apps/fetch/output_file.h"
#include "apps/fetch/request_plan.h"
#include "client/delivery_client.h"

namespace quorvel::client {

struct FetchPlan {
  FrameRange frames;  // all frames unless --frames
  bool frames_given = false;
  bool raw_video = false;  // packed YUY2 bytes instead of Y4M
  FieldOrder field_order = FieldOrder::kAuto;
  bool set_compression = false;
  uint8_t compression_mask = 0;
  // Requests sent ahead of the replies read; 1 waits for each reply before the next request.
  static constexpr int kDefaultRequestsAhead = 8;
  int requests_ahead = kDefaultRequestsAhead;
  // Threads that decode frames and convert them to Y4M's planes, several frames at once;
  // the frames are still written in order.
  int decode_threads = 1;
  // Asked between replies and while an output keeps the run waiting: once it says so, the
  // run stops early (the user pressed Ctrl-C or sent SIGTERM); kNow skips the replies on
  // their way and anything else that needs the server. May be null.
  StopCheck stop = nullptr;
};

// Where the job writes; a null output is not fetched. The job opens the outputs itself, once
// the first frame has arrived.
struct FetchSinks {
  OutputFile* video = nullptr;
  OutputFile* audio = nullptr;
  FetchProgress* progress = nullptr;  // may be null
  // Called with notes for the user (the field order that auto chose, a stream without the
  // audio asked for); may be null.
  void (*notice)(void* context, const std::string& text) = nullptr;
  void* notice_context = nullptr;
};

struct FetchOutcome {
  bool ok = false;
  bool reader_closed = false;  // an output's reader went away; the job stopped early
  bool stopped = false;        // the stop check said so; the job stopped early
  std::string error;           // when !ok
  int64_t frames_written = 0;
  uint64_t audio_samples_written = 0;
  // What the run set out to write; fewer were written when it ended early.
  int64_t frames_planned = 0;
  uint64_t audio_samples_planned = 0;
  // Samples that play during the frames written but could not be fetched (the connection
  // was gone): the audio ends that much before the video.
  uint64_t audio_samples_missing = 0;
};

// REQUIRES: client is connected. Sends Disconnect at the end of every run whose
// connection is still usable (and not stopped with kNow). Video and audio are written on
// a thread each, so that an output that cannot take more for a while (a pipe read slowly,
// a named pipe whose reader opens the other one first) holds back only its own stream. A
// run that ends early, for whatever reason, writes the audio of the frames written when it
// can still fetch it and no more, and leaves regular files whose headers say what they hold
// (the Y4M's XLENGTH, the WAV's sizes).
FetchOutcome run_fetch(DeliveryClient& client, const FetchPlan& plan, const FetchSinks& sinks);

}  // namespace quorvel::client

#endif  // QUORVEL_APPS_FETCH_FETCH_JOB_H_
