// The header of the WAV file the client writes for 16-bit PCM: the canonical 44 bytes
// (RIFF, `fmt ` of 16 bytes with format 1, `data`) for one or two channels, and
// WAVE_FORMAT_EXTENSIBLE (format 0xFFFE, 40-byte `fmt `, PCM subformat, the usual speaker
// mask of apps/common/speaker_layout.h, since the stream says only how many channels there
// are) for more, 68 bytes. Sizes are exact, since the sample count is known up front.
#ifndef QUORVEL_APPS_FETCH_WAV_WRITER_H_
#define QUORVEL_APPS_FETCH_WAV_WRITER_H_

#include <cstdint>
#include <vector>

#include "wire/protocol.h"

namespace quorvel::client {

// False when the count of data bytes (samples * channels * 2) does not fit a RIFF file.
// REQUIRES: 1 <= channels <= kMaxAudioChannels, sample_rate > 0.
bool wav_header(int channels, int32_t sample_rate, uint64_t samples, std::vector<uint8_t>* header);

}  // namespace quorvel::client

#endif  // QUORVEL_APPS_FETCH_WAV_WRITER_H_
