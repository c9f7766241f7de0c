// TestTone: the stand-in host's built-in audio, 16-bit sines at a quarter of full scale,
// 1000 Hz in the first channel and one octave lower in each next one, as long as the video.
// Sample s depends on s alone, so any range can be read in any order.
#ifndef QUORVEL_APPS_SERVE_TEST_TONE_H_
#define QUORVEL_APPS_SERVE_TEST_TONE_H_

#include "apps/serve/media_source.h"

namespace quorvel::serve {

class TestTone : public AudioSource {
 public:
  explicit TestTone(const AudioFormat& format) : format_(format) {}

  const AudioFormat& format() const override { return format_; }
  bool read(int64_t first, int64_t count, uint8_t* out, std::string* problem) override;

  // The value of one sample of one channel.
  int16_t sample(int64_t index, int channel) const;

 private:
  AudioFormat format_;
};

// The samples that play during frame_count frames of video at rate/scale.
uint32_t tone_samples_for(int32_t frame_count, uint32_t rate, uint32_t scale, int32_t audio_rate);

}  // namespace quorvel::serve

#endif  // QUORVEL_APPS_SERVE_TEST_TONE_H_
