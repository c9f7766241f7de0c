// The mend of a fetch's outputs after an early end, so that a regular file says what it
// holds: a Y4M's XLENGTH becomes the frames it holds (padded with spaces to the header's
// length, which readers skip between tags, so the frames stay where they are), a WAV's
// RIFF and data sizes those of its samples, and whatever lies past them (a frame cut short,
// audio past the last frame written) is cut off. A pipe's reader cannot be told after the
// fact: pipes are left as they are.
#ifndef QUORVEL_APPS_FETCH_OUTPUT_MEND_H_
#define QUORVEL_APPS_FETCH_OUTPUT_MEND_H_

#include <cstdint>
#include <string>

#include "apps/fetch/output_file.h"
#include "apps/fetch/y4m_writer.h"

namespace quorvel::client {

struct VideoWritten {
  std::string header;        // the Y4M stream header at the start of the file; empty for raw YUY2
  Y4mStreamFormat format;    // frame_count: the frames the run set out to write
  uint64_t frame_bytes = 0;  // of one frame's planes (or packed bytes)
  int64_t frames = 0;        // whole frames written
};

// False (and *error) when a regular file cannot be mended. REQUIRES: video->is_open().
bool mend_video(OutputFile* video, const VideoWritten& written, std::string* error);

struct AudioWritten {
  int channels = 0;
  int32_t rate = 0;
  uint64_t header_samples = 0;  // what the header written at the start says
  uint64_t samples = 0;         // what the file is to hold: no more than were written
};

// REQUIRES: audio->is_open(); the header was wav_header(channels, rate, header_samples).
bool mend_audio(OutputFile* audio, const AudioWritten& written, std::string* error);

}  // namespace quorvel::client

#endif  // QUORVEL_APPS_FETCH_OUTPUT_MEND_H_
