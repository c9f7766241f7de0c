// The stand-in host's sources and callbacks: Y4M headers and the conversion of 4:2:0,
// 4:2:2 and 4:4:4 frames to YUY2, WAV parsing (including streamed sizes and extra chunks),
// the command-line values, and the host's fresh frame copy, nearest-frame clamping and
// silence outside the audio.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "apps/fetch/wav_writer.h"
#include "apps/serve/input_notes.h"
#include "apps/serve/serve_progress.h"
#include "apps/serve/serve_values.h"
#include "apps/serve/stand_in_host.h"
#include "apps/serve/test_pattern.h"
#include "apps/serve/test_tone.h"
#include "apps/serve/wav_file_audio.h"
#include "apps/serve/y4m_file_video.h"
#include "server/host_abi.h"
#include "wire/protocol.h"

namespace quorvel::serve {
namespace {

// A file in the test's temporary directory, removed at the end of the test.
class TempFile {
 public:
  explicit TempFile(const std::string& bytes) {
    char name[] = "/tmp/quorvel_serve_test_XXXXXX";
    const int fd = mkstemp(name);
    path_ = name;
    EXPECT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    close(fd);
  }
  ~TempFile() { std::remove(path_.c_str()); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

std::string bytes_of(const std::vector<uint8_t>& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

TEST(Y4mHeaderTest, ReadsSizeRateAndChroma) {
  struct Case {
    const char* line;
    bool ok;
    int32_t width, height;
    uint32_t rate, scale;
    Y4mChroma chroma;
  };
  const Case cases[] = {
      {"YUV4MPEG2 W720 H480 F30000:1001 It A10:11 C422 XYSCSS=422", true, 720, 480, 30000, 1001,
       Y4mChroma::k422},
      {"YUV4MPEG2 W64 H48 F25:1", true, 64, 48, 25, 1, Y4mChroma::k420},  // 420jpeg by default
      {"YUV4MPEG2 W8 H8 C420mpeg2", true, 8, 8, 0, 0, Y4mChroma::k420},
      {"YUV4MPEG2 W8 H8 C444", true, 8, 8, 0, 0, Y4mChroma::k444},
      {"YUV4MPEG2 W8 H8 Cmono", true, 8, 8, 0, 0, Y4mChroma::kMono},
      {"YUV4MPEG2 W8 H8 C422p10", false, 0, 0, 0, 0, Y4mChroma::k420},
      {"YUV4MPEG2 W8 H8 C420p10", false, 0, 0, 0, 0, Y4mChroma::k420},
      {"YUV4MPEG2 H8", false, 0, 0, 0, 0, Y4mChroma::k420},
      {"YUV4MPEG2 W0 H8", false, 0, 0, 0, 0, Y4mChroma::k420},
      {"YUV4MPEG2 W8 H8 F25", false, 0, 0, 0, 0, Y4mChroma::k420},
      {"YUV4MPEG W8 H8", false, 0, 0, 0, 0, Y4mChroma::k420},
  };
  for (const Case& c : cases) {
    Y4mHeader header;
    std::string problem;
    EXPECT_EQ(parse_y4m_header(c.line, &header, &problem), c.ok) << c.line;
    if (!c.ok) continue;
    EXPECT_EQ(header.width, c.width) << c.line;
    EXPECT_EQ(header.height, c.height) << c.line;
    EXPECT_EQ(header.rate, c.rate) << c.line;
    EXPECT_EQ(header.scale, c.scale) << c.line;
    EXPECT_EQ(header.chroma, c.chroma) << c.line;
  }
}

// One 4x2 frame in each chroma format, with planes numbered so the YUY2 shows every byte's origin.
struct ChromaCase {
  const char* tag;
  std::string planes;
  std::vector<uint8_t> yuy2;
};

TEST(Y4mFileVideoTest, ConvertsEachChromaFormatToYuy2) {
  const std::string luma = {1, 2, 3, 4, 5, 6, 7, 8};
  const ChromaCase cases[] = {
      // 4:2:2: Cb 2x2, Cr 2x2, taken as they are.
      {"C422",
       luma + std::string{10, 11, 12, 13} + std::string{20, 21, 22, 23},
       {1, 10, 2, 20, 3, 11, 4, 21, 5, 12, 6, 22, 7, 13, 8, 23}},
      // 4:2:0: one chroma row of 2 serves both rows.
      {"C420jpeg",
       luma + std::string{10, 11} + std::string{20, 21},
       {1, 10, 2, 20, 3, 11, 4, 21, 5, 10, 6, 20, 7, 11, 8, 21}},
      // 4:4:4: each horizontal pair averaged, rounding up.
      {"C444",
       luma + std::string{10, 11, 12, 14, 30, 31, 32, 33} +
           std::string{20, 20, 40, 41, 50, 52, 60, 70},
       {1, 11, 2, 20, 3, 13, 4, 41, 5, 31, 6, 51, 7, 33, 8, 65}},
      {"Cmono", luma, {1, 128, 2, 128, 3, 128, 4, 128, 5, 128, 6, 128, 7, 128, 8, 128}},
  };
  for (const ChromaCase& c : cases) {
    // Two frames, the second with a FRAME tag of its own and luma + 100.
    std::string second = c.planes;
    for (size_t i = 0; i < luma.size(); ++i) second[i] = static_cast<char>(second[i] + 100);
    const TempFile file(std::string("YUV4MPEG2 W4 H2 F50:2 Ip ") + c.tag + "\nFRAME\n" + c.planes +
                        "FRAME Ixyz\n" + second);
    std::string error;
    auto video = Y4mFileVideo::open(file.path(), 1, 1, &error);
    ASSERT_NE(video, nullptr) << c.tag << ": " << error;
    EXPECT_EQ(video->format().frame_count, 2) << c.tag;
    EXPECT_EQ(video->format().rate, 50u);
    EXPECT_EQ(video->format().scale, 2u);
    std::vector<uint8_t> yuy2(16);
    ASSERT_TRUE(video->render(0, yuy2.data(), nullptr));
    EXPECT_EQ(yuy2, c.yuy2) << c.tag;
    ASSERT_TRUE(video->render(1, yuy2.data(), nullptr));
    EXPECT_EQ(yuy2[0], 101) << c.tag;
    EXPECT_EQ(yuy2[14], 108) << c.tag;
  }
}

// A frame of many rows is read a band of rows at a time, and a row converted 16 pairs at a
// time: every pixel, and with 4:2:0 and an odd height the last chroma row too, lands where a
// pixel-by-pixel conversion of the whole frame puts it.
TEST(Y4mFileVideoTest, TallFramesConvertAsWholeFramesDo) {
  const int w = 2054;  // 1027 pairs: 16 at a time, and 3 left over
  const int h = 131;
  struct Case {
    const char* tag;
    int chroma_width, chroma_height;
  };
  for (const Case& c : {Case{"C420jpeg", w / 2, (h + 1) / 2}, Case{"C422", w / 2, h},
                        Case{"C444", w, h}, Case{"Cmono", 0, 0}}) {
    std::string planes(static_cast<size_t>(w * h + 2 * c.chroma_width * c.chroma_height), '\0');
    for (size_t i = 0; i < planes.size(); ++i) planes[i] = static_cast<char>(i * 7 + i / 4093);
    const std::string bytes = std::string("YUV4MPEG2 W2054 H131 F25:1 ") + c.tag + "\nFRAME\n" +
                              planes + "FRAME\n" + planes;
    std::string problem;
    auto video = Y4mFileVideo::from_bytes(reinterpret_cast<const uint8_t*>(bytes.data()),
                                          bytes.size(), 1, 1, &problem);
    ASSERT_NE(video, nullptr) << c.tag << ": " << problem;
    std::vector<uint8_t> yuy2(static_cast<size_t>(w * 2 * h));
    ASSERT_TRUE(video->render(1, yuy2.data(), nullptr)) << c.tag;
    const auto plane = [&](int index, int x, int y) {
      return static_cast<uint8_t>(planes[static_cast<size_t>(
          w * h + index * c.chroma_width * c.chroma_height + y * c.chroma_width + x)]);
    };
    size_t mismatches = 0;
    for (int y = 0; y < h; ++y) {
      const int chroma_y = c.chroma_height == h ? y : y / 2;
      for (int x = 0; x < w; x += 2) {
        int u = 128;
        int v = 128;
        if (c.chroma_width == w) {
          u = (plane(0, x, y) + plane(0, x + 1, y) + 1) / 2;
          v = (plane(1, x, y) + plane(1, x + 1, y) + 1) / 2;
        } else if (c.chroma_width > 0) {
          u = plane(0, x / 2, chroma_y);
          v = plane(1, x / 2, chroma_y);
        }
        const uint8_t* out = yuy2.data() + (y * w + x) * 2;
        mismatches += out[0] != static_cast<uint8_t>(planes[static_cast<size_t>(y * w + x)]) ||
                      out[1] != u ||
                      out[2] != static_cast<uint8_t>(planes[static_cast<size_t>(y * w + x + 1)]) ||
                      out[3] != v;
      }
    }
    EXPECT_EQ(mismatches, 0u) << c.tag;
  }
}

TEST(Y4mFileVideoTest, RefusesUnusableFiles) {
  const char* files[] = {
      "YUV4MPEG2 W3 H2 C444\nFRAME\n123456123456123456",  // odd width
      "YUV4MPEG2 W4 H2 C422\nFRAME\n1234567",             // no whole frame
      "YUV4MPEG2 W4 H2 C422\nFRAMX\n1234567812341234",    // no FRAME line
      "not a y4m file at all",
  };
  for (const char* bytes : files) {
    const TempFile file(bytes);
    std::string error;
    EXPECT_EQ(Y4mFileVideo::open(file.path(), 1, 1, &error), nullptr) << bytes;
    EXPECT_FALSE(error.empty());
  }
  std::string error;
  EXPECT_EQ(Y4mFileVideo::open("/nonexistent/file.y4m", 1, 1, &error), nullptr);
}

TEST(Y4mFileVideoTest, ReportsTheHeadersFieldOrder) {
  const struct {
    const char* tags;
    Y4mInterlace interlace;
  } cases[] = {
      {" Ip", Y4mInterlace::kProgressive},
      {" It", Y4mInterlace::kTopFieldFirst},
      {" Ib", Y4mInterlace::kBottomFieldFirst},
      {" I?", Y4mInterlace::kUnknown},
      {" Im", Y4mInterlace::kMixed},
      {"", Y4mInterlace::kUnknown},
      {" Ib A1:1 XYSCSS=422", Y4mInterlace::kBottomFieldFirst},  // not only as the last tag
  };
  for (const auto& c : cases) {
    // The FRAME line's own tag is no header tag.
    const std::string bytes = std::string("YUV4MPEG2 W2 H1 C422") + c.tags + "\nFRAME It\nabcd";
    std::string problem;
    auto video = Y4mFileVideo::from_bytes(reinterpret_cast<const uint8_t*>(bytes.data()),
                                          bytes.size(), 1, 1, &problem);
    ASSERT_NE(video, nullptr) << c.tags << ": " << problem;
    EXPECT_EQ(video->interlace(), c.interlace) << c.tags;
  }
}

TEST(Y4mFileVideoTest, LeavesOutACutOffLastFrameAndUsesTheFallbackRate) {
  const TempFile file("YUV4MPEG2 W2 H1 C422\nFRAME\nabcdFRAME\nab");
  std::string error;
  auto video = Y4mFileVideo::open(file.path(), 30000, 1001, &error);
  ASSERT_NE(video, nullptr) << error;
  EXPECT_EQ(video->format().frame_count, 1);
  EXPECT_EQ(video->format().rate, 30000u);
  EXPECT_EQ(video->format().scale, 1001u);
}

std::string pcm_samples(int count, int channels) {
  std::string data;
  for (int i = 0; i < count * channels; ++i) {
    data.push_back(static_cast<char>(i));
    data.push_back(static_cast<char>(0x80 | (i >> 8)));
  }
  return data;
}

TEST(WavFileAudioTest, ReadsWhatTheClientWritesInEveryChannelCount) {
  for (int channels = 1; channels <= kMaxAudioChannels; ++channels) {
    std::vector<uint8_t> header;
    ASSERT_TRUE(client::wav_header(channels, 44100, 5, &header));
    const std::string data = pcm_samples(5, channels);
    const TempFile file(bytes_of(header) + data);
    std::string error;
    auto audio = WavFileAudio::open(file.path(), &error);
    ASSERT_NE(audio, nullptr) << channels << ": " << error;
    EXPECT_EQ(audio->format().channels, channels);
    EXPECT_EQ(audio->format().rate, 44100);
    EXPECT_EQ(audio->format().samples, 5u);
    std::vector<uint8_t> out(static_cast<size_t>(5 * channels * 2));
    ASSERT_TRUE(audio->read(0, 5, out.data(), nullptr));
    EXPECT_EQ(bytes_of(out), data) << channels;
  }
}

TEST(WavFileAudioTest, StreamedSizesAndExtraChunks) {
  std::vector<uint8_t> header;
  ASSERT_TRUE(client::wav_header(2, 48000, 0, &header));
  // A LIST chunk of odd size (padded) between fmt and data, and a data size of 0xFFFFFFFF.
  std::string bytes = bytes_of(header);
  bytes.insert(36, std::string("LIST\x03\x00\x00\x00"
                               "abc\x00",
                               12));
  bytes.replace(bytes.size() - 4, 4, "\xFF\xFF\xFF\xFF");
  const std::string data = pcm_samples(3, 2) + "x";  // and a stray byte at the end
  const TempFile file(bytes + data);
  std::string error;
  auto audio = WavFileAudio::open(file.path(), &error);
  ASSERT_NE(audio, nullptr) << error;
  EXPECT_EQ(audio->format().samples, 3u);
  // Two samples before the start and two past the end are silence.
  std::vector<uint8_t> out(7 * 4, 0xEE);
  ASSERT_TRUE(audio->read(-2, 7, out.data(), nullptr));
  EXPECT_EQ(bytes_of(out), std::string(8, '\0') + data.substr(0, 12) + std::string(8, '\0'));
}

TEST(WavFileAudioTest, RefusesOtherFormats) {
  std::vector<uint8_t> header;
  ASSERT_TRUE(client::wav_header(2, 48000, 1, &header));
  std::string eight_bit = bytes_of(header) + "abcd";
  eight_bit[34] = 8;
  std::string float_format = bytes_of(header) + "abcd";
  float_format[20] = 3;
  std::string nine_channels = bytes_of(header) + "abcd";
  nine_channels[22] = 9;
  std::string wrong_block_align = bytes_of(header) + "abcd";
  wrong_block_align[32] = 6;
  const std::string no_data = bytes_of(header).substr(0, 36);
  // An odd-sized last chunk whose pad byte is missing: the walk must stop at the end.
  const std::string unpadded_last_chunk = no_data + std::string(
                                                        "LIST\x03\x00\x00\x00"
                                                        "abc",
                                                        11);
  const struct {
    std::string bytes;
    const char* says;
  } cases[] = {
      {eight_bit, "not 16-bit PCM"},
      {float_format, "not 16-bit PCM"},
      {nine_channels, "9 channels (1 to 8 are served)"},
      {wrong_block_align, "block align 6 where 2 channels of 16-bit samples need 4"},
      {no_data, "no data chunk"},
      {unpadded_last_chunk, "no data chunk"},
      {std::string("RIFF"), "not a WAV file"},
  };
  for (const auto& [bytes, says] : cases) {
    const TempFile file(bytes);
    std::string error;
    EXPECT_EQ(WavFileAudio::open(file.path(), &error), nullptr);
    EXPECT_EQ(error, file.path() + ": " + says);
    // From a heap block of exactly the file's size, so a read past its end is caught.
    const std::vector<uint8_t> exact(bytes.begin(), bytes.end());
    EXPECT_EQ(WavFileAudio::from_bytes(exact.data(), exact.size(), &error), nullptr);
  }
}

// Each way a file is served other than it says (or seems to say) gets one line; a file
// served as it is gets none.
TEST(InputNotesTest, SayWhereWhatIsServedDiffersFromTheFile) {
  struct Y4mCase {
    std::string header;
    std::string tail;  // after two whole frames of 2x1 C422
    bool rate_given;
    std::vector<std::string> notes;
  };
  const Y4mCase y4m_cases[] = {
      {"YUV4MPEG2 W2 H1 F25:1 C422", "", false, {}},
      {"YUV4MPEG2 W2 H1 F25:1 C422",
       "",
       true,
       {"in.y4m says its frame rate, 25/1; --rate applies only to a file that does not"}},
      {"YUV4MPEG2 W2 H1 C422", "", true, {}},
      {"YUV4MPEG2 W2 H1 C422",
       "",
       false,
       {"in.y4m does not say its frame rate (no F tag, or F0:0); serving it at 30000/1001; give "
        "--rate to say otherwise"}},
      {"YUV4MPEG2 W2 H1 F0:0 C422",
       "",
       false,
       {"in.y4m does not say its frame rate (no F tag, or F0:0); serving it at 30000/1001; give "
        "--rate to say otherwise"}},
      {"YUV4MPEG2 W2 H1 F25:1 C422",
       "FRAME\nab",
       false,
       {"in.y4m ends inside frame 2 (8 bytes of it are there); serving the 2 whole frames "
        "before it"}},
  };
  for (const Y4mCase& c : y4m_cases) {
    const std::string bytes = c.header + "\nFRAME\nabcdFRAME\nabcd" + c.tail;
    std::string problem;
    auto video = Y4mFileVideo::from_bytes(reinterpret_cast<const uint8_t*>(bytes.data()),
                                          bytes.size(), 30000, 1001, &problem);
    ASSERT_NE(video, nullptr) << problem;
    EXPECT_EQ(y4m_notes("in.y4m", *video, c.rate_given), c.notes) << bytes;
  }

  struct WavCase {
    int channels;
    uint32_t mask;     // written over the usual one, for more than 2 channels
    uint32_t samples;  // in the file
    uint32_t claimed;  // by the data chunk
    std::string note;  // "" for none
  };
  const VideoFormat ten_frames{2, 1, 25, 1, 10};  // 0.4 s: 19200 samples at 48 kHz
  const WavCase wav_cases[] = {
      {2, 0, 19200, 19200, ""},
      {2, 0, 19200 + 1919, 19200 + 1919, ""},  // less than a frame more
      {6, 0x3F, 19200, 19200, ""},
      {3, 0xB, 19200, 19200,
       "in.wav's speakers are 0xb (FL FR LFE); only the channel count travels to a client, "
       "which takes 3 channels as 0x7 (FL FR FC)"},
      {4, 0x33, 19200, 19200,
       "in.wav's speakers are 0x33 (FL FR BL BR); only the channel count travels to a client, "
       "which takes 4 channels as 0x107 (FL FR FC BC)"},
      {2, 0, 19200, 19200 + 100,
       "in.wav ends 400 bytes before the end its data chunk gives; serving the 19200 samples "
       "it holds"},
      {2, 0, 19200 - 1920, 19200 - 1920,
       "in.wav is shorter (0.360 s) than the video (0.400 s, 10 frames); past its end clients "
       "get silence"},
      {2, 0, 19200 + 1920, 19200 + 1920,
       "in.wav is longer (0.440 s) than the video (0.400 s, 10 frames); a client that writes "
       "the video too, as quorvel-fetch does, writes only the audio of the frames"},
  };
  for (const WavCase& c : wav_cases) {
    std::vector<uint8_t> header;
    ASSERT_TRUE(client::wav_header(c.channels, 48000, c.claimed, &header));
    if (c.channels > 2) {
      for (int i = 0; i < 4; ++i) header[40 + i] = static_cast<uint8_t>(c.mask >> (8 * i));
    }
    std::vector<uint8_t> bytes = header;
    bytes.resize(header.size() + size_t{c.samples} * 2 * static_cast<size_t>(c.channels));
    std::string problem;
    auto audio = WavFileAudio::from_bytes(bytes.data(), bytes.size(), &problem);
    ASSERT_NE(audio, nullptr) << problem;
    const std::vector<std::string> notes = wav_notes("in.wav", *audio, ten_frames);
    EXPECT_EQ(notes, c.note.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.note})
        << c.channels << " channels, mask " << c.mask << ", " << c.samples << " samples";
  }
}

TEST(ServeValuesTest, FrameSizeAndRate) {
  int32_t width = 0;
  int32_t height = 0;
  EXPECT_TRUE(parse_frame_size("720x480", &width, &height));
  EXPECT_EQ(width, 720);
  EXPECT_EQ(height, 480);
  EXPECT_TRUE(parse_frame_size("2x1", &width, &height));
  for (const char* bad :
       {"721x480", "0x480", "720x0", "720", "x480", "720x480x2", "16386x2", "-2x2"}) {
    EXPECT_FALSE(parse_frame_size(bad, &width, &height)) << bad;
  }
  uint32_t rate = 0;
  uint32_t scale = 0;
  EXPECT_TRUE(parse_frame_rate("30000/1001", &rate, &scale));
  EXPECT_EQ(rate, 30000u);
  EXPECT_EQ(scale, 1001u);
  EXPECT_TRUE(parse_frame_rate("25", &rate, &scale));
  EXPECT_EQ(scale, 1u);
  for (const char* bad : {"0/1", "25/0", "25/", "/1", "a/b", "4294967296/1"}) {
    EXPECT_FALSE(parse_frame_rate(bad, &rate, &scale)) << bad;
  }
}

TEST(StandInHostTest, EveryFetchIsAFreshCopyAndOutsideNumbersGiveTheNearestFrame) {
  TestPattern pattern({16, 8, 25, 1, 5});
  StandInHost host(&pattern, nullptr, nullptr);
  const HostOutputInfo& info = host.info();
  EXPECT_EQ(info.flags, QUORVEL_HOST_HAS_VIDEO);
  EXPECT_EQ(info.frame_size, 16u * 2 * 8);

  std::vector<uint8_t> expected(info.frame_size);
  pattern.render(4, expected.data(), nullptr);
  auto* frame = static_cast<uint8_t*>(info.get_frame(4, QUORVEL_FOURCC_YUY2));
  ASSERT_NE(frame, nullptr);
  // A compressing codec filters the buffer in place; the next fetch must not see that.
  std::memset(frame, 0, info.frame_size);
  frame = static_cast<uint8_t*>(info.get_frame(4, QUORVEL_FOURCC_YUY2));
  EXPECT_EQ(std::memcmp(frame, expected.data(), expected.size()), 0);

  frame = static_cast<uint8_t*>(info.get_frame(1000, QUORVEL_FOURCC_YUY2));
  EXPECT_EQ(std::memcmp(frame, expected.data(), expected.size()), 0)
      << "past the end gives the last frame";
  pattern.render(0, expected.data(), nullptr);
  frame = static_cast<uint8_t*>(info.get_frame(-7, QUORVEL_FOURCC_YUY2));
  EXPECT_EQ(std::memcmp(frame, expected.data(), expected.size()), 0)
      << "before the start gives frame 0";
  EXPECT_EQ(info.get_frame(0, 0x12345678u), nullptr) << "only YUY2 is offered";
}

TEST(StandInHostTest, AudioIsEverySampleAskedForUpToTheStreamsEnd) {
  TestTone tone({48000, 2, 100});
  StandInHost host(nullptr, &tone, nullptr);
  const HostOutputInfo& info = host.info();
  EXPECT_EQ(info.flags, QUORVEL_HOST_HAS_AUDIO);
  int32_t delivered = -1;
  const auto* audio = static_cast<const uint8_t*>(info.get_audio(98, 4, &delivered));
  ASSERT_NE(audio, nullptr);
  // 98 and 99 are the stream's last samples; the session sends the silence past its end.
  EXPECT_EQ(delivered, 2);
  const auto sample_at = [&](int index, int channel) {
    return static_cast<int16_t>(audio[index * 4 + channel * 2] | audio[index * 4 + channel * 2 + 1]
                                                                     << 8);
  };
  EXPECT_EQ(sample_at(0, 0), tone.sample(98, 0));
  EXPECT_EQ(sample_at(1, 1), tone.sample(99, 1));
  audio = static_cast<const uint8_t*>(info.get_audio(-2, 4, &delivered));
  EXPECT_EQ(delivered, 4) << "silence before the start, then the stream";
  EXPECT_EQ(sample_at(1, 0), 0);
  EXPECT_EQ(sample_at(2, 0), tone.sample(0, 0));
  EXPECT_EQ(sample_at(3, 1), tone.sample(1, 1));
  info.get_audio(0, -5, &delivered);
  EXPECT_EQ(delivered, 0);
  info.get_audio(100, 5, &delivered);
  EXPECT_EQ(delivered, 0);
}

// A request far larger than 2^20 samples is served whole, from the WAV source and the tone.
TEST(StandInHostTest, LongAudioRequestsAreServedWhole) {
  constexpr uint32_t kSamples = (1u << 20) + 5000;
  TestTone tone({48000, 2, kSamples});
  std::vector<uint8_t> header;
  ASSERT_TRUE(client::wav_header(2, 48000, kSamples, &header));
  std::vector<uint8_t> wav_bytes = header;
  wav_bytes.resize(header.size() + size_t{kSamples} * 4);
  tone.read(0, kSamples, wav_bytes.data() + header.size(), nullptr);
  std::string problem;
  auto wav = WavFileAudio::from_bytes(wav_bytes.data(), wav_bytes.size(), &problem);
  ASSERT_NE(wav, nullptr) << problem;

  for (AudioSource* source :
       {static_cast<AudioSource*>(&tone), static_cast<AudioSource*>(wav.get())}) {
    StandInHost host(nullptr, source, nullptr);
    int32_t delivered = -1;
    const auto* audio =
        static_cast<const uint8_t*>(host.info().get_audio(1000, INT32_MAX, &delivered));
    ASSERT_EQ(delivered, static_cast<int32_t>(kSamples - 1000));
    EXPECT_EQ(
        std::memcmp(audio, wav_bytes.data() + header.size() + 4000, size_t{kSamples - 1000} * 4),
        0);
  }
}

// The progress line counts frames as a reader does: a run that served frames 0 to 299 of
// 300 ends at "frame 300 of 300", not at 299.
TEST(ServeProgressTest, ARunEndsAtItsLastFrameCountedFromOne) {
  std::FILE* out = std::tmpfile();
  ASSERT_NE(out, nullptr);
  ServeProgress progress(true, "quorvel-serve", out);
  for (int32_t n = 0; n < 300; ++n) progress.on_frame(n, 300);
  progress.end_run();
  std::rewind(out);
  std::string text;
  for (int c; (c = std::fgetc(out)) != EOF;) text.push_back(static_cast<char>(c));
  std::fclose(out);
  const size_t last = text.rfind('\r');
  ASSERT_NE(last, std::string::npos) << text;
  EXPECT_EQ(text.substr(last + 1, 33), "quorvel-serve: frame 300 of 300, ") << text;
}

TEST(TestPatternTest, FramesDifferAndTheToneLastsAsLongAsTheVideo) {
  TestPattern pattern({64, 48, 30000, 1001, 10});
  std::vector<uint8_t> first(64 * 2 * 48);
  std::vector<uint8_t> again(first.size());
  std::vector<uint8_t> next(first.size());
  pattern.render(3, first.data(), nullptr);
  pattern.render(3, again.data(), nullptr);
  pattern.render(4, next.data(), nullptr);
  EXPECT_EQ(first, again);
  EXPECT_NE(first, next);
  // The motion of the last frames of the longest stream must not overflow.
  TestPattern longest({64, 48, 30000, 1001, INT32_MAX});
  longest.render(INT32_MAX - 1, first.data(), nullptr);
  EXPECT_EQ(tone_samples_for(3000, 30000, 1001, 48000), 4804800u);
  EXPECT_EQ(tone_samples_for(30, 30000, 1001, 48000), 48048u);
}

}  // namespace
}  // namespace quorvel::serve
