// The harness host's stream: frames and audio that are a pure function of their position,
// so the expected bytes can be written to a file once and compared with what a client
// received. Frames have smooth gradients with two bits of noise, so every codec compresses
// them without being trivial.
#ifndef QUORVEL_WINDOWS_HARNESS_TEST_STREAM_H_
#define QUORVEL_WINDOWS_HARNESS_TEST_STREAM_H_

#include <cstdint>

namespace harness {

struct StreamShape {
  int32_t width = 720;
  int32_t height = 480;
  int32_t frame_count = 10;
  int32_t audio_rate = 48000;
  int32_t channels = 2;
  uint32_t audio_samples = 48000;
};

inline int64_t frame_bytes(const StreamShape& shape) {
  return static_cast<int64_t>(shape.width) * 2 * shape.height;
}

// Fills one packed YUY2 frame (height rows of width * 2 bytes) for frame_number.
void fill_frame(uint8_t* frame, const StreamShape& shape, int32_t frame_number);

// Fills sample_count 16-bit little-endian samples of every channel, from first_sample on.
void fill_audio(uint8_t* out, const StreamShape& shape, int64_t first_sample, int32_t sample_count);

// Writes frames 0..frame_count-1, and all audio_samples samples, as raw files.
bool write_expected_video(const char* path, const StreamShape& shape);
bool write_expected_audio(const char* path, const StreamShape& shape);

}  // namespace harness

#endif  // QUORVEL_WINDOWS_HARNESS_TEST_STREAM_H_
