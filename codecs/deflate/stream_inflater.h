// StreamInflater: turns the zlib stream of a deflate payload back into the filtered frame.
// The build picks one of two engines: zlib alone (stream_inflater_zlib.cc), or libdeflate
// (stream_inflater_libdeflate.cc), several times faster, with zlib deciding any stream that
// libdeflate refuses. Both give the bytes and the status inflate_zlib_stream gives for
// every stream that zlib accepts and for every stream that libdeflate refuses.
#ifndef QUORVEL_CODECS_DEFLATE_STREAM_INFLATER_H_
#define QUORVEL_CODECS_DEFLATE_STREAM_INFLATER_H_

#include <cstdint>
#include <memory>

#include "codecs/deflate/zlib_inflate.h"

namespace quorvel {

class StreamInflater {
 public:
  // Returns an inflater with its decoder state allocated, or null when it cannot be.
  static std::unique_ptr<StreamInflater> create();

  ~StreamInflater();
  StreamInflater(const StreamInflater&) = delete;
  StreamInflater& operator=(const StreamInflater&) = delete;

  // Inflates the stream of stream_length bytes into capacity bytes at out, never reading
  // or writing past either; bytes of out past `produced` are left as they were. Nothing of
  // one call is kept for the next.
  InflateOutcome inflate(const uint8_t* stream, uint32_t stream_length, uint8_t* out,
                         uint32_t capacity);

  // "libdeflate" or "zlib", for reports.
  static const char* engine_name();

 private:
  struct Engine;
  explicit StreamInflater(Engine* engine) : engine_(engine) {}
  Engine* engine_;
};

}  // namespace quorvel

#endif  // QUORVEL_CODECS_DEFLATE_STREAM_INFLATER_H_
