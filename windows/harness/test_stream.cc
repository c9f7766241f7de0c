#include "test_stream.h"

#include <cstdio>
#include <vector>

namespace harness {

namespace {

uint32_t mix(uint32_t x) {
  x ^= x >> 15;
  x *= 0x2C1B3C6Du;
  x ^= x >> 12;
  x *= 0x297A2D39u;
  x ^= x >> 15;
  return x;
}

bool write_file(const char* path, const std::vector<uint8_t>& bytes, bool append) {
  FILE* file = std::fopen(path, append ? "ab" : "wb");
  if (file == nullptr) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && ok;
}

}  // namespace

void fill_frame(uint8_t* frame, const StreamShape& shape, int32_t frame_number) {
  const uint32_t row_bytes = static_cast<uint32_t>(shape.width) * 2;
  const uint32_t n = static_cast<uint32_t>(frame_number);
  for (uint32_t row = 0; row < static_cast<uint32_t>(shape.height); ++row) {
    uint8_t* line = frame + static_cast<size_t>(row) * row_bytes;
    for (uint32_t column = 0; column < row_bytes; ++column) {
      const uint32_t noise = mix(n * 0x9E3779B1u ^ row * 0x85EBCA77u ^ column * 0xC2B2AE3Du) & 3u;
      // Luma (even bytes) runs along the row, chroma along the frame number.
      const uint32_t base =
          (column & 1u) == 0 ? column / 2 + row + n * 3 : row / 2 + n * 7 + column / 4;
      line[column] = static_cast<uint8_t>(base + noise);
    }
  }
}

void fill_audio(uint8_t* out, const StreamShape& shape, int64_t first_sample,
                int32_t sample_count) {
  for (int32_t i = 0; i < sample_count; ++i) {
    const uint32_t sample = static_cast<uint32_t>(first_sample + i);
    for (int32_t channel = 0; channel < shape.channels; ++channel) {
      const uint32_t value = mix(sample * 31u + static_cast<uint32_t>(channel));
      *out++ = static_cast<uint8_t>(value);
      *out++ = static_cast<uint8_t>(value >> 8);
    }
  }
}

bool write_expected_video(const char* path, const StreamShape& shape) {
  std::vector<uint8_t> frame(static_cast<size_t>(frame_bytes(shape)));
  bool ok = write_file(path, {}, false);
  for (int32_t n = 0; ok && n < shape.frame_count; ++n) {
    fill_frame(frame.data(), shape, n);
    ok = write_file(path, frame, true);
  }
  return ok;
}

bool write_expected_audio(const char* path, const StreamShape& shape) {
  std::vector<uint8_t> audio(static_cast<size_t>(shape.audio_samples) *
                             static_cast<size_t>(shape.channels) * 2);
  fill_audio(audio.data(), shape, 0, static_cast<int32_t>(shape.audio_samples));
  return write_file(path, audio, false);
}

}  // namespace harness
