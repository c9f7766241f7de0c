// Speaker layouts of multichannel WAV files: WAVE_FORMAT_EXTENSIBLE's dwChannelMask, one bit
// per speaker position. A frame server's stream info carries only a channel count, so the
// client writes the usual layout for each count (the one ffmpeg assumes), and quorvel-serve
// says so when an input's layout is another one.
#ifndef QUORVEL_APPS_COMMON_SPEAKER_LAYOUT_H_
#define QUORVEL_APPS_COMMON_SPEAKER_LAYOUT_H_

#include <cstdint>
#include <string>

#include "wire/protocol.h"

namespace quorvel::apps {

// 0x4 (mono), 0x3 (stereo), 0x7, 0x107, 0x37, 0x3F (5.1), 0x13F (6.1), 0x63F (7.1); 0 for a
// count outside 1 to 8.
uint32_t usual_speaker_mask(int channels);

// The positions of a mask in the usual short names, lowest bit first ("FL FR LFE"); "none"
// for 0.
std::string speaker_names(uint32_t mask);

}  // namespace quorvel::apps

#endif  // QUORVEL_APPS_COMMON_SPEAKER_LAYOUT_H_
