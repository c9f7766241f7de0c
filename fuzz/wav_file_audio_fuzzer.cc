// Fuzz target for WavFileAudio: any bytes as a WAV file. The parser either refuses them
// with a reason or gives a source whose format fits the bytes, whose samples can be read
// in any range, each part matching the same samples read with the rest.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "apps/serve/wav_file_audio.h"
#include "wire/protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string problem;
  auto audio = quorvel::serve::WavFileAudio::from_bytes(data, size, &problem);
  if (audio == nullptr) {
    if (problem.empty()) __builtin_trap();
    return 0;
  }
  const quorvel::serve::AudioFormat& format = audio->format();
  const uint64_t block = static_cast<uint64_t>(format.channels) * 2;
  if (format.rate <= 0 || format.channels < 1 || format.channels > quorvel::kMaxAudioChannels ||
      static_cast<uint64_t>(format.samples) * block > size) {
    __builtin_trap();
  }
  // The whole stream (capped) with a sample of silence on either side, then parts of it.
  const int64_t samples = std::min<int64_t>(format.samples, 1 << 16);
  std::vector<uint8_t> out(static_cast<size_t>(static_cast<uint64_t>(samples + 2) * block), 0xEE);
  if (!audio->read(-1, samples + 2, out.data(), nullptr)) __builtin_trap();
  for (size_t i = 0; i < block; ++i) {
    if (out[i] != 0 || (samples == format.samples && out[out.size() - 1 - i] != 0))
      __builtin_trap();
  }
  std::vector<uint8_t> part(out.size());
  for (int64_t first : {int64_t{0}, samples / 2}) {
    const int64_t count = samples - first;
    if (!audio->read(first, count, part.data(), nullptr) ||
        std::memcmp(part.data(), out.data() + (first + 1) * static_cast<int64_t>(block),
                    static_cast<size_t>(static_cast<uint64_t>(count) * block)) != 0) {
      __builtin_trap();
    }
  }
  return 0;
}
