// AudioWriter: the work of the audio's writing thread: the WAV header, created with the first
// samples and sized for every sample the run sets out to write, then each audio reply's
// bytes. The writer owns what it touches; the run reads what it wrote once the thread has
// finished.
#ifndef QUORVEL_APPS_FETCH_AUDIO_WRITER_H_
#define QUORVEL_APPS_FETCH_AUDIO_WRITER_H_

#include <cstdint>

#include "apps/fetch/fetch_reply.h"
#include "apps/fetch/output_end.h"
#include "apps/fetch/output_mend.h"

namespace quorvel::client {

struct AudioSetup {
  OutputFile* output = nullptr;
  int channels = 0;  // of a checked stream with audio
  int32_t rate = 0;
  uint64_t samples = 0;  // what the run sets out to write, and the header says
};

class AudioWriter {
 public:
  explicit AudioWriter(const AudioSetup& setup) : setup_(setup) {}

  // On the writing thread. False when the output takes no more; end() says why.
  bool write(const FetchReply& reply);

  // Once the writing thread has finished.
  uint64_t samples_written() const { return samples_written_; }
  const OutputEnd& end() const { return end_; }
  // What the file is to hold when its samples are cut to `samples`, for mend_audio.
  AudioWritten written(uint64_t samples) const {
    return AudioWritten{setup_.channels, setup_.rate, setup_.samples, samples};
  }

 private:
  bool start();

  const AudioSetup setup_;
  OutputEnd end_;
  uint64_t samples_written_ = 0;
};

}  // namespace quorvel::client

#endif  // QUORVEL_APPS_FETCH_AUDIO_WRITER_H_
