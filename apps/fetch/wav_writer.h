// The header of the WAV file the client writes for 16-bit PCM: the canonical 44 bytes
// (RIFF, `fmt ` of 16 bytes with format 1, `data`) for one or two channels, and
// WAVE_FORMAT_EXTENSIBLE (format 0xFFFE, 40-byte `fmt `, PCM subformat, the usual speaker
// mask) for more, 68 bytes. Sizes are exact, since the sample count is known up front.
#ifndef QUORVEL_APPS_FETCH_WAV_WRITER_H_
#define QUORVEL_APPS_FETCH_WAV_WRITER_H_

#include <cstdint>
#include <vector>

namespace quorvel::client {

constexpr int kWavMaxChannels = 8;

// The speaker positions ffmpeg assumes for a channel count: 0x4 (mono), 0x3 (stereo),
// 0x7, 0x107, 0x37, 0x3F (5.1), 0x13F, 0x63F (7.1).
uint32_t wav_channel_mask(int channels);

// False when the count of data bytes (samples * channels * 2) does not fit a RIFF file.
// REQUIRES: 1 <= channels <= kWavMaxChannels, sample_rate > 0.
bool wav_header(int channels, int32_t sample_rate, uint64_t samples, std::vector<uint8_t>* header);

}  // namespace quorvel::client

#endif  // QUORVEL_APPS_FETCH_WAV_WRITER_H_
