// The stand-in host's sources: a VideoSource renders any frame of the stream as packed
// YUY2 on demand, an AudioSource copies any range of 16-bit samples. Both are asked for
// numbers as the client sends them, so numbers outside the stream must be handled. A source
// read from a file fails when the file no longer holds what it held when it was opened
// (it was rewritten shorter while served); the stand-in host then ends the run.
#ifndef QUORVEL_APPS_SERVE_MEDIA_SOURCE_H_
#define QUORVEL_APPS_SERVE_MEDIA_SOURCE_H_

#include <cstdint>
#include <string>

namespace quorvel::serve {

struct VideoFormat {
  int32_t width = 0;  // even
  int32_t height = 0;
  uint32_t rate = 0;  // frames per `scale` seconds
  uint32_t scale = 0;
  int32_t frame_count = 0;
};

struct AudioFormat {
  int32_t rate = 0;
  int32_t channels = 0;
  uint32_t samples = 0;
};

class VideoSource {
 public:
  virtual ~VideoSource() = default;
  virtual const VideoFormat& format() const = 0;
  // Writes frame n, height rows of width * 2 bytes (Y0 U Y1 V), to yuy2. False (and
  // *problem, when not null) when the frame cannot be read.
  // REQUIRES: 0 <= n < frame_count.
  virtual bool render(int32_t n, uint8_t* yuy2, std::string* problem) = 0;
};

class AudioSource {
 public:
  virtual ~AudioSource() = default;
  virtual const AudioFormat& format() const = 0;
  // Writes count samples from first (count * channels interleaved little-endian 16-bit
  // values) to out; samples outside the stream are silence. False (and *problem, when not
  // null) when they cannot be read.
  virtual bool read(int64_t first, int64_t count, uint8_t* out, std::string* problem) = 0;
};

}  // namespace quorvel::serve

#endif  // QUORVEL_APPS_SERVE_MEDIA_SOURCE_H_
