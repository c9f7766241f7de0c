#include "apps/common/speaker_layout.h"

namespace quorvel::apps {

uint32_t usual_speaker_mask(int channels) {
  static const uint32_t kMasks[kMaxAudioChannels + 1] = {0,    0x4,  0x3,   0x7,  0x107,
                                                         0x37, 0x3F, 0x13F, 0x63F};
  return channels >= 1 && channels <= kMaxAudioChannels ? kMasks[channels] : 0;
}

std::string speaker_names(uint32_t mask) {
  // The bits in order, as WAVEFORMATEXTENSIBLE defines them.
  static const char* const kNames[] = {"FL", "FR", "FC", "LFE", "BL",  "BR",  "FLC", "FRC", "BC",
                                       "SL", "SR", "TC", "TFL", "TFC", "TFR", "TBL", "TBC", "TBR"};
  std::string names;
  for (uint32_t bit = 0; bit < 32; ++bit) {
    if ((mask >> bit & 1) == 0) continue;
    if (!names.empty()) names += ' ';
    names += bit < sizeof kNames / sizeof kNames[0] ? kNames[bit] : "bit" + std::to_string(bit);
  }
  return names.empty() ? "none" : names;
}

}  // namespace quorvel::apps
