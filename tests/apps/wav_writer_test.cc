// The WAV headers the client writes, byte for byte: the canonical 44 bytes for one and two
// channels, WAVE_FORMAT_EXTENSIBLE for more, and the refusal of audio too long for RIFF.
#include "apps/fetch/wav_writer.h"

#include <gtest/gtest.h>

#include "apps/common/speaker_layout.h"
#include "wire/protocol.h"

namespace quorvel::client {
namespace {

TEST(WavWriterTest, StereoHeaderIsTheCanonical44Bytes) {
  std::vector<uint8_t> header;
  ASSERT_TRUE(wav_header(2, 48000, 1000, &header));
  const std::vector<uint8_t> expected = {
      'R',  'I',  'F',  'F',  0xC4, 0x0F, 0x00, 0x00,               // 36 + 4000
      'W',  'A',  'V',  'E',  'f',  'm',  't',  ' ',  16, 0, 0, 0,  // fmt size
      1,    0,    2,    0,                                          // PCM, 2 channels
      0x80, 0xBB, 0x00, 0x00,                                       // 48000
      0x00, 0xEE, 0x02, 0x00,                                       // 192000 bytes/s
      4,    0,    16,   0,                                          // block align, bits
      'd',  'a',  't',  'a',  0xA0, 0x0F, 0x00, 0x00};              // 4000
  EXPECT_EQ(header, expected);
}

TEST(WavWriterTest, MonoHeaderSaysOneChannel) {
  std::vector<uint8_t> header;
  ASSERT_TRUE(wav_header(1, 44100, 3, &header));
  ASSERT_EQ(header.size(), 44u);
  EXPECT_EQ(header[22], 1);
  EXPECT_EQ(header[32], 2);  // block align
  EXPECT_EQ(header[40], 6);  // data size
  EXPECT_EQ(header[4], 42);  // 36 + 6
}

TEST(WavWriterTest, SixChannelsUseExtensibleFormat) {
  std::vector<uint8_t> header;
  ASSERT_TRUE(wav_header(6, 48000, 10, &header));
  const std::vector<uint8_t> expected = {
      'R',  'I',  'F',  'F',  0xB4, 0x00, 0x00, 0x00,  // 60 + 120
      'W',  'A',  'V',  'E',  'f',  'm',  't',  ' ',
      40,   0,    0,    0,    0xFE, 0xFF, 6,    0,     // extensible, 6 channels
      0x80, 0xBB, 0x00, 0x00, 0x00, 0xCA, 0x08, 0x00,  // 576000 bytes/s
      12,   0,    16,   0,    22,   0,    16,   0,     // cbSize, valid bits
      0x3F, 0,    0,    0,                             // 5.1
      0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
      0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71,  // PCM subformat
      'd',  'a',  't',  'a',  120,  0,    0,    0};
  EXPECT_EQ(header, expected);
}

TEST(WavWriterTest, ChannelMasksFollowTheUsualLayouts) {
  struct Case {
    uint32_t mask;
    const char* names;
  };
  const Case expected[] = {{0x4, "FC"},
                           {0x3, "FL FR"},
                           {0x7, "FL FR FC"},
                           {0x107, "FL FR FC BC"},
                           {0x37, "FL FR FC BL BR"},
                           {0x3F, "FL FR FC LFE BL BR"},
                           {0x13F, "FL FR FC LFE BL BR BC"},
                           {0x63F, "FL FR FC LFE BL BR SL SR"}};
  for (int channels = 1; channels <= kMaxAudioChannels; ++channels) {
    const Case& c = expected[channels - 1];
    EXPECT_EQ(apps::usual_speaker_mask(channels), c.mask) << channels << " channels";
    EXPECT_EQ(apps::speaker_names(c.mask), c.names) << channels << " channels";
    std::vector<uint8_t> header;
    ASSERT_TRUE(wav_header(channels, 48000, 1, &header));
    if (channels > 2) {
      EXPECT_EQ(header[40] | header[41] << 8, static_cast<int>(c.mask));
    }
  }
  EXPECT_EQ(apps::speaker_names(0xb), "FL FR LFE");  // 2.1, which the wire cannot tell
  EXPECT_EQ(apps::speaker_names(0x80000001u), "FL bit31");
  EXPECT_EQ(apps::usual_speaker_mask(9), 0u);
}

TEST(WavWriterTest, RefusesDataBeyondFourGigabytes) {
  std::vector<uint8_t> header;
  EXPECT_FALSE(wav_header(2, 48000, 0x40000000ull, &header));  // exactly 4 GiB of data
  EXPECT_TRUE(wav_header(2, 48000, (0xFFFFFFFFull - 44) / 4, &header));
}

}  // namespace
}  // namespace quorvel::client
