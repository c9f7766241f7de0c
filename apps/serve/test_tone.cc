#include "apps/serve/test_tone.h"

#include <cmath>

#include "util/multiply_divide.h"

namespace quorvel::serve {

namespace {

constexpr double kFirstFrequency = 1000.0;
constexpr double kAmplitude = 8192.0;
constexpr double kTwoPi = 6.283185307179586;

}  // namespace

int16_t TestTone::sample(int64_t index, int channel) const {
  const double frequency = kFirstFrequency / static_cast<double>(1 << channel);
  // Reduced to one period first, so the phase stays exact however far into the stream.
  const int64_t period =
      static_cast<int64_t>(std::llround(static_cast<double>(format_.rate) / frequency));
  const double phase = static_cast<double>(index % period) / static_cast<double>(period);
  return static_cast<int16_t>(std::lround(kAmplitude * std::sin(kTwoPi * phase)));
}

bool TestTone::read(int64_t first, int64_t count, uint8_t* out, std::string* /*problem*/) {
  for (int64_t i = 0; i < count; ++i) {
    const int64_t index = first + i;
    const bool inside = index >= 0 && index < static_cast<int64_t>(format_.samples);
    for (int channel = 0; channel < format_.channels; ++channel) {
      const auto value = static_cast<uint16_t>(inside ? sample(index, channel) : 0);
      *out++ = static_cast<uint8_t>(value);
      *out++ = static_cast<uint8_t>(value >> 8);
    }
  }
  return true;
}

uint32_t tone_samples_for(int32_t frame_count, uint32_t rate, uint32_t scale, int32_t audio_rate) {
  if (frame_count <= 0 || rate == 0 || audio_rate <= 0) return 0;
  const uint64_t samples = multiply_divide(
      static_cast<uint64_t>(frame_count) * static_cast<uint64_t>(audio_rate), scale, rate);
  return samples > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(samples);
}

}  // namespace quorvel::serve
