// StreamInflater: turns the zlib stream of a deflate payload back into the filtered frame.
// A LiteralInflater of our own tries every stream first; any stream it does not take goes,
// from its start, to the build's general engine: zlib alone (stream_inflater_zlib.cc), or
// libdeflate (stream_inflater_libdeflate.cc), several times faster, with zlib deciding any
// stream that libdeflate refuses. Either way the bytes and the status are those that
// inflate_zlib_stream gives for every stream that zlib accepts and for every stream that
// libdeflate refuses.
#ifndef QUORVEL_CODECS_DEFLATE_STREAM_INFLATER_H_
#define QUORVEL_CODECS_DEFLATE_STREAM_INFLATER_H_

#include <cstdint>
#include <memory>
#include <utility>

#include "codecs/deflate/literal_inflater.h"
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
  // or writing past either. Bytes of out past `produced` may have been written (by a stage
  // that gave the stream up); the caller fills them. Nothing of one call is kept for the
  // next.
  InflateOutcome inflate(const uint8_t* stream, uint32_t stream_length, uint8_t* out,
                         uint32_t capacity);

  // The general engine alone, as inflate() decides every stream that the literal stage does
  // not take: for the benchmark's rows and the tests' comparisons.
  InflateOutcome inflate_with_engine(const uint8_t* stream, uint32_t stream_length, uint8_t* out,
                                     uint32_t capacity);

  // The literal stage alone.
  LiteralInflater& literal_stage() { return *literal_; }

  // "libdeflate" or "zlib", for reports.
  static const char* engine_name();

 private:
  struct Engine;
  static Engine* create_engine();
  static void destroy_engine(Engine* engine);

  StreamInflater(std::unique_ptr<LiteralInflater> literal, Engine* engine)
      : literal_(std::move(literal)), engine_(engine) {}

  std::unique_ptr<LiteralInflater> literal_;
  Engine* engine_;
};

}  // namespace quorvel

#endif  // QUORVEL_CODECS_DEFLATE_STREAM_INFLATER_H_
