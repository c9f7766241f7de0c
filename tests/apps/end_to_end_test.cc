// quorvel-serve and quorvel-fetch end to end over 127.0.0.1, each server on a port of the
// system's choosing (--port 0, read back from its "listening on port" line). Frames and
// audio arrive bit-exact from the pattern, tone, Y4M and WAV sources with every codec, also
// to four clients at once; ffprobe reads the client's files, and one ffmpeg muxes both
// through two named pipes; Disconnect, a second client, a client gone mid-request, a client
// that stops reading replies, an input cut short while served, a closed output pipe, an
// output that is never read and Ctrl-C (once or twice) each end a run as they should.
// Every wait is bounded.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "apps/fetch/compression_choice.h"
#include "apps/fetch/fetch_job.h"
#include "apps/fetch/wav_writer.h"
#include "apps/serve/test_pattern.h"
#include "apps/serve/test_tone.h"
#include "client/delivery_client.h"
#include "tests/apps/media_files.h"
#include "tests/support/child_process.h"
#include "wire/protocol.h"

namespace quorvel::testing {
namespace {

constexpr int kStartMs = 10000;  // sanitizer builds start slowly on a busy machine
constexpr int kRunMs = 20000;

// A scratch directory for one test, removed with everything in it at the end.
class ScratchDir {
 public:
  ScratchDir() {
    char name[] = "/tmp/quorvel_e2e_XXXXXX";
    path_ = mkdtemp(name);
  }
  ~ScratchDir() { std::system(("rm -rf '" + path_ + "'").c_str()); }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

struct Server {
  std::unique_ptr<ChildProcess> process = std::make_unique<ChildProcess>();
  int port = 0;
  std::string address() const { return "127.0.0.1:" + std::to_string(port); }
};

Server start_server(std::vector<std::string> args) {
  Server server;
  args.insert(args.begin(), {QUORVEL_SERVE_PATH, "--port", "0"});
  EXPECT_TRUE(server.process->start(args));
  server.port = server.process->wait_for_port(kStartMs);
  EXPECT_GT(server.port, 0) << server.process->stderr_text();
  return server;
}

struct Finished {
  int code = -1;
  std::string out;
  std::string err;
};

// Runs a program to its end (bounded), its stdout on a pipe or into stdout_path.
Finished run_program(std::vector<std::string> args, const std::string& stdout_path = "") {
  ChildProcess process;
  ChildIo io;
  io.stdout_path = stdout_path;
  Finished finished;
  if (!process.start(args, io)) return finished;
  if (stdout_path.empty()) finished.out = process.read_stdout(kRunMs);
  finished.code = process.wait(kRunMs);
  finished.err = process.stderr_text();
  return finished;
}

Finished fetch(std::vector<std::string> args) {
  args.insert(args.begin(), QUORVEL_FETCH_PATH);
  return run_program(args);
}

bool have_ffmpeg() {
  return access(QUORVEL_FFMPEG_PATH, X_OK) == 0 && access(QUORVEL_FFPROBE_PATH, X_OK) == 0;
}

// ffprobe's value for one entry of the first stream (e.g. "stream=field_order").
std::string probe(const std::string& path, const std::string& entry, bool count_frames = false) {
  std::vector<std::string> args = {QUORVEL_FFPROBE_PATH, "-v",  "error", "-select_streams",  "0",
                                   "-show_entries",      entry, "-of",   "default=nw=1:nk=1"};
  if (count_frames) args.push_back("-count_frames");
  args.push_back(path);
  std::string out = run_program(args).out;
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out;
}

void write_text_file(const std::string& path, const std::string& text) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr) << path;
  std::fwrite(text.data(), 1, text.size(), file);
  std::fclose(file);
}

size_t file_size(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 ? static_cast<size_t>(info.st_size) : 0;
}

void expect_server_exits_cleanly(Server& server) {
  EXPECT_EQ(server.process->wait(kRunMs), 0) << server.process->stderr_text();
}

// A connection of the test's own to 127.0.0.1:port, its receive buffer set to
// receive_buffer bytes first when that is not 0; -1 when it cannot be made.
int connect_loopback(int port, int receive_buffer = 0) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return -1;
  if (receive_buffer > 0) {
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receive_buffer, sizeof receive_buffer);
  }
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
  close(fd);
  return -1;
}

std::string pattern_frame(int32_t width, int32_t height, int32_t frames, int32_t n) {
  serve::TestPattern pattern({width, height, 30000, 1001, frames});
  std::string frame(static_cast<size_t>(width) * 2 * static_cast<size_t>(height), '\0');
  pattern.render(n, reinterpret_cast<uint8_t*>(frame.data()), nullptr);
  return frame;
}

std::string tone_bytes(uint32_t total, int64_t first, int64_t count) {
  serve::TestTone tone({48000, 2, total});
  std::string bytes(static_cast<size_t>(count) * 4, '\0');
  tone.read(first, count, reinterpret_cast<uint8_t*>(bytes.data()), nullptr);
  return bytes;
}

// The samples of the pattern's tone (48 kHz) that play during its first frames at the
// default 30000/1001 fps, by the client's rule.
uint64_t tone_samples_of_frames(int64_t frames) {
  StreamInfoRecord info;
  info.rate = 30000;
  info.scale = 1001;
  info.audio_rate = 48000;
  return client::first_sample_of_frame(frames, info);
}

struct CodecRun {
  const char* compression;
  const char* read_ahead;
  const char* threads;  // decode threads: with several, frames still come out in order
};

class PatternDeliveryTest : public ::testing::TestWithParam<CodecRun> {};

TEST_P(PatternDeliveryTest, FramesAndToneArriveBitExact) {
  const CodecRun run = GetParam();
  ScratchDir dir;
  Server server =
      start_server({"--size", "64x48", "--frames", "12", "--read-ahead", run.read_ahead});
  const Finished fetched =
      fetch({server.address(), "--raw", "-o", dir.file("video.yuy2"), "--audio-out",
             dir.file("audio.wav"), "--compression", run.compression, "--threads", run.threads});
  ASSERT_EQ(fetched.code, 0) << fetched.err;
  expect_server_exits_cleanly(server);

  const std::string video = read_file(dir.file("video.yuy2"));
  const size_t frame_bytes = 64 * 2 * 48;
  ASSERT_EQ(video.size(), 12 * frame_bytes);
  for (int n = 0; n < 12; ++n) {
    EXPECT_TRUE(video.compare(n * frame_bytes, frame_bytes, pattern_frame(64, 48, 12, n)) == 0)
        << "frame " << n;
  }
  WavFile wav;
  ASSERT_TRUE(read_wav(dir.file("audio.wav"), &wav));
  const uint32_t samples = serve::tone_samples_for(12, 30000, 1001, 48000);
  EXPECT_EQ(wav.header.size(), 44u);
  EXPECT_TRUE(wav.data == tone_bytes(samples, 0, samples)) << "audio differs";
}

INSTANTIATE_TEST_SUITE_P(EveryCodec, PatternDeliveryTest,
                         ::testing::Values(CodecRun{"none", "1", "1"}, CodecRun{"none", "0", "3"},
                                           CodecRun{"lzo", "1", "1"}, CodecRun{"lzo", "1", "3"},
                                           CodecRun{"fano", "1", "4"},
                                           CodecRun{"deflate", "1", "1"},
                                           CodecRun{"deflate", "0", "2"}),
                         [](const ::testing::TestParamInfo<CodecRun>& param_info) {
                           return std::string(param_info.param.compression) + "_read_ahead_" +
                                  param_info.param.read_ahead + "_threads_" +
                                  param_info.param.threads;
                         });

TEST(EndToEndTest, FrameRangeBringsTheAudioThatPlaysDuringIt) {
  ScratchDir dir;
  Server server = start_server({"--size", "32x16", "--frames", "20"});
  const Finished fetched =
      fetch({server.address(), "--frames", "3-7", "-o", dir.file("part.y4m"), "--audio-out",
             dir.file("part.wav"), "--field-order", "progressive"});
  ASSERT_EQ(fetched.code, 0) << fetched.err;
  expect_server_exits_cleanly(server);

  Y4mFile y4m;
  ASSERT_TRUE(read_y4m(dir.file("part.y4m"), 32 * 2 * 16, &y4m));
  EXPECT_EQ(y4m.header, "YUV4MPEG2 W32 H16 F30000:1001 Ip A0:0 C422 XLENGTH=5");
  ASSERT_EQ(y4m.frames.size(), 5u);
  // Frame 3's luma plane is the even bytes of its packed form.
  const std::string packed = pattern_frame(32, 16, 20, 3);
  for (size_t i = 0; i < 32 * 16; ++i) ASSERT_EQ(y4m.frames[0][i], packed[2 * i]) << i;

  StreamInfoRecord info;
  info.rate = 30000;
  info.scale = 1001;
  info.audio_rate = 48000;
  const uint64_t first = client::first_sample_of_frame(3, info);
  const uint64_t end = client::first_sample_of_frame(8, info);
  EXPECT_EQ(first, 4804u);
  WavFile wav;
  ASSERT_TRUE(read_wav(dir.file("part.wav"), &wav));
  const uint32_t total = serve::tone_samples_for(20, 30000, 1001, 48000);
  EXPECT_TRUE(wav.data ==
              tone_bytes(total, static_cast<int64_t>(first), static_cast<int64_t>(end - first)));
}

TEST(EndToEndTest, FfprobeReadsSizeRateFieldOrderAndFrameCount) {
  if (!have_ffmpeg()) GTEST_SKIP() << "no ffmpeg/ffprobe";
  struct Case {
    std::vector<std::string> serve_args;
    std::vector<std::string> fetch_args;
    const char* field_order;
  };
  const Case cases[] = {
      {{}, {}, "tt"},  // the settings' defaults: interlaced, top field first
      {{"--tff", "0"}, {}, "bb"},
      {{"--interlaced", "0"}, {}, "progressive"},
      {{}, {"--field-order", "progressive"}, "progressive"},
      {{"--interlaced", "0"}, {"--field-order", "bff"}, "bb"},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    std::vector<std::string> serve_args = {"--size", "48x32", "--rate", "25/1", "--frames", "9"};
    serve_args.insert(serve_args.end(), c.serve_args.begin(), c.serve_args.end());
    Server server = start_server(serve_args);
    std::vector<std::string> fetch_args = {server.address(), "-o", dir.file("v.y4m"), "--audio-out",
                                           dir.file("a.wav")};
    fetch_args.insert(fetch_args.end(), c.fetch_args.begin(), c.fetch_args.end());
    const Finished fetched = fetch(fetch_args);
    ASSERT_EQ(fetched.code, 0) << fetched.err;
    expect_server_exits_cleanly(server);

    EXPECT_EQ(probe(dir.file("v.y4m"), "stream=width"), "48");
    EXPECT_EQ(probe(dir.file("v.y4m"), "stream=height"), "32");
    EXPECT_EQ(probe(dir.file("v.y4m"), "stream=pix_fmt"), "yuv422p");
    EXPECT_EQ(probe(dir.file("v.y4m"), "stream=r_frame_rate"), "25/1");
    EXPECT_EQ(probe(dir.file("v.y4m"), "stream=field_order"), c.field_order);
    EXPECT_EQ(probe(dir.file("v.y4m"), "stream=nb_read_frames", true), "9");
    EXPECT_EQ(probe(dir.file("a.wav"), "stream=sample_rate"), "48000");
    EXPECT_EQ(probe(dir.file("a.wav"), "stream=channels"), "2");
    EXPECT_EQ(probe(dir.file("a.wav"), "stream=duration_ts"), "17280");  // 9 frames at 25 fps
  }
}

// A small Y4M made by ffmpeg in each chroma format, served and fetched: luma exact, chroma
// as the documented conversion gives it (4:2:0 rows repeated, 4:4:4 pairs averaged).
TEST(EndToEndTest, Y4mInputInEachChromaFormat) {
  if (!have_ffmpeg()) GTEST_SKIP() << "no ffmpeg";
  const int w = 64;
  const int h = 48;
  struct Case {
    const char* pix_fmt;
    int chroma_width, chroma_height;
  };
  const Case cases[] = {{"yuv422p", w / 2, h}, {"yuv420p", w / 2, h / 2}, {"yuv444p", w, h}};
  for (const Case& c : cases) {
    ScratchDir dir;
    const Finished made = run_program({QUORVEL_FFMPEG_PATH, "-v", "error", "-f", "lavfi", "-i",
                                       "testsrc2=size=64x48:rate=50", "-frames:v", "4", "-pix_fmt",
                                       c.pix_fmt, "-f", "yuv4mpegpipe", dir.file("in.y4m")});
    ASSERT_EQ(made.code, 0) << made.err;
    Server server = start_server({"--input", dir.file("in.y4m"), "--interlaced", "0"});
    const Finished fetched = fetch({server.address(), "-o", dir.file("out.y4m")});
    ASSERT_EQ(fetched.code, 0) << fetched.err;
    expect_server_exits_cleanly(server);

    const size_t in_chroma = static_cast<size_t>(c.chroma_width * c.chroma_height);
    Y4mFile in;
    Y4mFile out;
    ASSERT_TRUE(read_y4m(dir.file("in.y4m"), w * h + 2 * in_chroma, &in)) << c.pix_fmt;
    ASSERT_TRUE(read_y4m(dir.file("out.y4m"), w * h * 2, &out)) << c.pix_fmt;
    EXPECT_EQ(out.header, "YUV4MPEG2 W64 H48 F50:1 Ip A0:0 C422 XLENGTH=4") << c.pix_fmt;
    ASSERT_EQ(out.frames.size(), 4u) << c.pix_fmt;
    for (size_t f = 0; f < 4; ++f) {
      const std::string& source = in.frames[f];
      const std::string& result = out.frames[f];
      EXPECT_EQ(result.substr(0, w * h), source.substr(0, w * h))
          << c.pix_fmt << " luma of frame " << f;
      size_t mismatches = 0;
      for (int plane = 0; plane < 2; ++plane) {
        const auto* src =
            reinterpret_cast<const uint8_t*>(source.data()) + w * h + plane * in_chroma;
        const auto* got =
            reinterpret_cast<const uint8_t*>(result.data()) + w * h + plane * (w / 2 * h);
        for (int y = 0; y < h; ++y) {
          for (int x = 0; x < w / 2; ++x) {
            int expected;
            if (c.chroma_width == w) {
              expected = (src[y * w + 2 * x] + src[y * w + 2 * x + 1] + 1) / 2;
            } else {
              const int row = c.chroma_height == h ? y : y / 2;
              expected = src[row * (w / 2) + x];
            }
            mismatches += got[y * (w / 2) + x] != expected;
          }
        }
      }
      EXPECT_EQ(mismatches, 0u) << c.pix_fmt << " chroma of frame " << f;
    }
  }
}

// WAV input of 1, 2 and 6 channels arrives byte for byte, in the header form each needs.
TEST(EndToEndTest, WavInputOfOneTwoAndSixChannels) {
  if (!have_ffmpeg()) GTEST_SKIP() << "no ffmpeg";
  struct Case {
    int channels;
    size_t header_size;
  };
  for (const Case& c : {Case{1, 44}, Case{2, 44}, Case{6, 68}}) {
    ScratchDir dir;
    const Finished made =
        run_program({QUORVEL_FFMPEG_PATH, "-v", "error", "-f", "lavfi", "-i",
                     "sine=frequency=440:sample_rate=44100:duration=0.5", "-af",
                     "aeval=" + std::string(c.channels == 1 ? "val(0)" : "val(0)*(ch+1)/8") +
                         ":c=" + std::to_string(c.channels) + "c",
                     "-c:a", "pcm_s16le", dir.file("in.wav")});
    ASSERT_EQ(made.code, 0) << made.err;
    Server server =
        start_server({"--size", "32x16", "--frames", "10", "--audio", dir.file("in.wav")});
    const Finished fetched = fetch({server.address(), "--audio-out", dir.file("out.wav")});
    ASSERT_EQ(fetched.code, 0) << fetched.err;
    expect_server_exits_cleanly(server);

    WavFile in;
    WavFile out;
    ASSERT_TRUE(read_wav(dir.file("in.wav"), &in));
    ASSERT_TRUE(read_wav(dir.file("out.wav"), &out));
    EXPECT_EQ(in.data.size(), 22050u * 2 * static_cast<size_t>(c.channels));
    EXPECT_TRUE(out.data == in.data) << c.channels << " channels differ";
    EXPECT_EQ(out.header.size(), c.header_size);
    EXPECT_EQ(probe(dir.file("out.wav"), "stream=channels"), std::to_string(c.channels));
    EXPECT_EQ(probe(dir.file("out.wav"), "stream=sample_rate"), "44100");
    if (c.channels != 2) continue;

    // With the video, the audio ends where the last frame written ends, not with the file.
    Server both =
        start_server({"--size", "32x16", "--frames", "10", "--audio", dir.file("in.wav")});
    const Finished muxable = fetch(
        {both.address(), "-o", dir.file("out.y4m"), "--audio-out", dir.file("with_video.wav")});
    ASSERT_EQ(muxable.code, 0) << muxable.err;
    expect_server_exits_cleanly(both);
    StreamInfoRecord info;
    info.rate = 30000;
    info.scale = 1001;
    info.audio_rate = 44100;
    const uint64_t samples = client::first_sample_of_frame(10, info);
    EXPECT_EQ(samples, 14714u);  // 10 * 1001 / 30000 s of 44100 Hz, 14714.7, rounded down
    WavFile with_video;
    ASSERT_TRUE(read_wav(dir.file("with_video.wav"), &with_video));
    EXPECT_TRUE(with_video.data == in.data.substr(0, static_cast<size_t>(samples * 4)))
        << with_video.data.size();
  }
}

// An input rewritten shorter while it is served (re-rendered between two clients, or
// written over by a fetch) ends the run with one line and exit 1, never with SIGBUS.
TEST(EndToEndTest, InputCutWhileServedEndsTheRunWithOneLine) {
  const std::string y4m_header = "YUV4MPEG2 W16 H8 F25:1 Ip C422\n";
  const size_t frame_record = 6 + 16 * 8 * 2;  // "FRAME\n" and the planes
  std::string y4m = y4m_header;
  for (int n = 0; n < 10; ++n) y4m += "FRAME\n" + std::string(16 * 8 * 2, static_cast<char>(n));
  std::vector<uint8_t> wav_header;
  ASSERT_TRUE(client::wav_header(2, 48000, 48000, &wav_header));
  const std::string wav =
      std::string(wav_header.begin(), wav_header.end()) + tone_bytes(48000, 0, 48000);
  struct Case {
    const char* name;
    bool cut_the_video;  // else the audio
    size_t cut_to;
    std::string says;  // after the file's path
  };
  const Case cases[] = {
      {"Y4M", true, y4m_header.size() + 2 * frame_record + 100,
       " was cut to " + std::to_string(y4m_header.size() + 2 * frame_record + 100) +
           " bytes while served (frame 5 needs " +
           std::to_string(y4m_header.size() + 6 * frame_record) + ")\n"},
      {"WAV", false, 44 + 1000 * 4,
       " was cut to 4044 bytes while served (samples 20000 to 20099 need " +
           std::to_string(44 + 20100 * 4) + ")\n"},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    write_text_file(dir.file("in.y4m"), y4m);
    write_text_file(dir.file("in.wav"), wav);
    Server server = start_server({"--input", dir.file("in.y4m"), "--audio", dir.file("in.wav")});
    client::DeliveryClient client;
    ASSERT_TRUE(client.connect("127.0.0.1", std::to_string(server.port), 5000)) << client.error();
    ASSERT_TRUE(client.get_stream_info(nullptr)) << client.error();
    std::vector<uint8_t> frame;
    std::vector<uint8_t> audio;
    ASSERT_TRUE(client.get_frame(0, &frame)) << client.error();
    ASSERT_TRUE(client.get_audio(0, 100, &audio)) << client.error();
    const std::string cut = dir.file(c.cut_the_video ? "in.y4m" : "in.wav");
    ASSERT_EQ(truncate(cut.c_str(), static_cast<off_t>(c.cut_to)), 0);
    // The reply that needed the lost bytes is the last: a frame's never comes, audio's
    // comes as silence, and the next request finds the connection closed.
    if (c.cut_the_video) {
      EXPECT_FALSE(client.get_frame(5, &frame)) << c.name;
    } else {
      client.get_audio(20000, 100, &audio);
      EXPECT_FALSE(client.get_frame(1, &frame)) << c.name;
    }
    EXPECT_EQ(server.process->wait(kRunMs), 1) << c.name;
    EXPECT_EQ(server.process->stderr_text().substr(
                  server.process->stderr_text().rfind("quorvel-serve: ")),
              "quorvel-serve: " + cut + c.says)
        << c.name;
  }
}

TEST(EndToEndTest, DisconnectEndsTheRunAndServeExitsZero) {
  Server server = start_server({});
  client::DeliveryClient client;
  ASSERT_TRUE(client.connect("127.0.0.1", std::to_string(server.port), 5000)) << client.error();
  ASSERT_TRUE(client.disconnect());
  expect_server_exits_cleanly(server);
}

TEST(EndToEndTest, SecondClientIsRefusedWhileOneIsServed) {
  Server server = start_server({});
  client::DeliveryClient first;
  ASSERT_TRUE(first.connect("127.0.0.1", std::to_string(server.port), 5000));
  // A reply proves the first client was accepted, and with it the listener closed.
  ASSERT_TRUE(first.get_stream_info(nullptr)) << first.error();
  client::DeliveryClient second;
  EXPECT_FALSE(second.connect("127.0.0.1", std::to_string(server.port), 5000));
  EXPECT_EQ(second.status(), client::ClientStatus::kConnectFailed);
  std::vector<uint8_t> frame;
  EXPECT_TRUE(first.get_frame(0, &frame)) << "the first client is still served";
  first.disconnect();
  expect_server_exits_cleanly(server);
}

// With --clients 4, four quorvel-fetch runs at once, each with its own codec and quarter of
// the stream, get every frame and its audio bit-exact; the run serves on after they leave,
// a connection past the limit ends at once, and Ctrl-C leaves nothing listening.
TEST(EndToEndTest, SeveralClientsAtOnceGetTheirFramesBitExact) {
  constexpr int kWidth = 160;
  constexpr int kHeight = 120;
  constexpr int kFrames = 160;
  constexpr int kQuarter = kFrames / 4;
  ScratchDir dir;
  Server server =
      start_server({"--size", "160x120", "--frames", std::to_string(kFrames), "--clients", "4"});
  const char* const codecs[] = {"none", "lzo", "fano", "deflate"};
  std::vector<std::unique_ptr<ChildProcess>> fetchers;
  for (int i = 0; i < 4; ++i) {
    const std::string range =
        std::to_string(i * kQuarter) + "-" + std::to_string((i + 1) * kQuarter - 1);
    const std::string part = std::to_string(i);
    fetchers.push_back(std::make_unique<ChildProcess>());
    ASSERT_TRUE(fetchers.back()->start({QUORVEL_FETCH_PATH, server.address(), "--raw", "-o",
                                        dir.file("part" + part + ".yuy2"), "--audio-out",
                                        dir.file("part" + part + ".wav"), "--frames", range,
                                        "--compression", codecs[i], "--quiet", "--timeout", "20"}));
  }
  for (auto& fetcher : fetchers) EXPECT_EQ(fetcher->wait(kRunMs), 0) << fetcher->stderr_text();

  const size_t frame_bytes = kWidth * 2 * kHeight;
  const uint32_t samples = serve::tone_samples_for(kFrames, 30000, 1001, 48000);
  StreamInfoRecord info;
  info.rate = 30000;
  info.scale = 1001;
  info.audio_rate = 48000;
  for (int i = 0; i < 4; ++i) {
    const std::string video = read_file(dir.file("part" + std::to_string(i) + ".yuy2"));
    ASSERT_EQ(video.size(), kQuarter * frame_bytes) << codecs[i];
    for (int f = 0; f < kQuarter; ++f) {
      const int n = i * kQuarter + f;
      EXPECT_TRUE(video.compare(f * frame_bytes, frame_bytes,
                                pattern_frame(kWidth, kHeight, kFrames, n)) == 0)
          << codecs[i] << " frame " << n;
    }
    WavFile wav;
    ASSERT_TRUE(read_wav(dir.file("part" + std::to_string(i) + ".wav"), &wav)) << codecs[i];
    const uint64_t first = client::first_sample_of_frame(i * kQuarter, info);
    const uint64_t end = client::first_sample_of_frame((i + 1) * kQuarter, info);
    EXPECT_TRUE(wav.data ==
                tone_bytes(samples, static_cast<int64_t>(first), static_cast<int64_t>(end - first)))
        << codecs[i] << " audio differs";
  }

  // Four clients held; a fifth is accepted and closed at once: it reads the end, not a hang
  // (its receive would give up after 10 s).
  std::vector<std::unique_ptr<client::DeliveryClient>> held;
  for (int i = 0; i < 4; ++i) {
    held.push_back(std::make_unique<client::DeliveryClient>());
    ASSERT_TRUE(held.back()->connect("127.0.0.1", std::to_string(server.port), 5000));
    ASSERT_TRUE(held.back()->get_stream_info(nullptr)) << held.back()->error();
  }
  const int fd = connect_loopback(server.port);
  ASSERT_GE(fd, 0);
  const timeval bound{10, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof bound);
  char byte = 0;
  EXPECT_EQ(recv(fd, &byte, 1, 0), 0) << "the fifth connection ends at once";
  close(fd);
  std::vector<uint8_t> frame;
  EXPECT_TRUE(held[0]->get_frame(3, &frame)) << "the held clients are served on";
  for (auto& client : held) EXPECT_TRUE(client->disconnect());

  // Every client gone: the run still listens, until Ctrl-C.
  EXPECT_EQ(fetch({server.address(), "--raw", "-o", "/dev/null", "--frames", "0-2"}).code, 0);
  server.process->signal(SIGINT);
  expect_server_exits_cleanly(server);
  EXPECT_NE(fetch({server.address(), "-o", "/dev/null"}).code, 0) << "nothing listens any more";
}

TEST(EndToEndTest, ClientsOutsideOneToEightIsAUsageError) {
  for (const char* clients : {"0", "9", "-1", "two"}) {
    EXPECT_EQ(run_program({QUORVEL_SERVE_PATH, "--clients", clients}).code, 2) << clients;
  }
  const Finished once = run_program({QUORVEL_SERVE_PATH, "--clients", "2", "--once"});
  EXPECT_EQ(once.code, 2);
  EXPECT_NE(once.err.find("--once serves one client"), std::string::npos) << once.err;
}

TEST(EndToEndTest, ClientClosingMidPayloadEndsTheRun) {
  Server server = start_server({});
  const int fd = connect_loopback(server.port);
  ASSERT_GE(fd, 0);
  // A GetAudio that declares 20 payload bytes and sends 3.
  const uint8_t partial[] = {21, 0, 0, 0, 11, 1, 2, 3};
  ASSERT_EQ(send(fd, partial, sizeof partial, MSG_NOSIGNAL), static_cast<ssize_t>(sizeof partial));
  close(fd);
  expect_server_exits_cleanly(server);
}

TEST(EndToEndTest, ClientThatStopsReadingRepliesDoesNotHoldOffCtrlC) {
  Server server = start_server({"--size", "640x480", "--frames", "100"});
  // A small receive window, so the server's socket fills soon.
  const int fd = connect_loopback(server.port, 4096);
  ASSERT_GE(fd, 0);
  // 64 raw frames of 600 KiB asked for and never read: far more than the socket buffers hold.
  std::vector<uint8_t> requests;
  for (int32_t n = 0; n < 64; ++n) {
    uint8_t get_frame[kHeaderSize + kGetFramePayloadMin];
    const int length = write_get_frame(get_frame, n);
    requests.insert(requests.end(), get_frame, get_frame + length);
  }
  ASSERT_EQ(send(fd, requests.data(), requests.size(), MSG_NOSIGNAL),
            static_cast<ssize_t>(requests.size()));
  // The server is soon stuck on a full socket, with no end of its own; Ctrl-C must still end it.
  usleep(500 * 1000);
  ASSERT_EQ(server.process->wait(0), -1) << "the server is still serving";
  server.process->signal(SIGINT);
  EXPECT_EQ(server.process->wait(5000), 0) << server.process->stderr_text();
  close(fd);
}

TEST(EndToEndTest, ClosedOutputPipeEndsTheFetchCleanlyWithDisconnect) {
  Server server = start_server({"--size", "64x48", "--frames", "2000"});
  ChildProcess fetcher;
  ChildIo io;
  io.stdout_pipe_closed_early = true;
  ASSERT_TRUE(fetcher.start({QUORVEL_FETCH_PATH, server.address(), "-o", "-"}, io));
  EXPECT_EQ(fetcher.wait(kRunMs), 0) << fetcher.stderr_text();
  // A pipe's reader cannot look at a header: the note says what it got.
  EXPECT_NE(fetcher.stderr_text().find("output was closed; stopped after "), std::string::npos)
      << fetcher.stderr_text();
  EXPECT_NE(fetcher.stderr_text().find(" of 2000 frames"), std::string::npos)
      << fetcher.stderr_text();
  expect_server_exits_cleanly(server);
}

TEST(EndToEndTest, CtrlCStopsAWaitingServerAndLoopServesClientsInARow) {
  {
    Server server = start_server({});
    server.process->signal(SIGINT);
    expect_server_exits_cleanly(server);
  }
  // --loop is the old spelling of --keep-waiting 1.
  for (const std::vector<std::string>& keep_waiting :
       {std::vector<std::string>{"--loop"}, std::vector<std::string>{"--keep-waiting", "1"}}) {
    std::vector<std::string> args = {"--size", "16x8", "--frames", "3"};
    args.insert(args.end(), keep_waiting.begin(), keep_waiting.end());
    Server server = start_server(args);
    for (int client = 0; client < 3; ++client) {
      const int port = client == 0 ? server.port : server.process->wait_for_port(kStartMs);
      ASSERT_EQ(port, server.port) << "listens again on the same port, " << keep_waiting[0];
      const Finished fetched = fetch({server.address(), "--raw", "-o", "/dev/null"});
      EXPECT_EQ(fetched.code, 0) << fetched.err;
    }
    ASSERT_EQ(server.process->wait_for_port(kStartMs), server.port) << "waits for a fourth";
    server.process->signal(SIGINT);
    expect_server_exits_cleanly(server);
    EXPECT_NE(fetch({server.address(), "-o", "/dev/null"}).code, 0) << "nothing listens any more";
  }
}

TEST(EndToEndTest, ExitCodesAndMessages) {
  // A port that was just free: nothing listens there.
  Server gone = start_server({});
  const std::string address = gone.address();
  gone.process->signal(SIGINT);
  expect_server_exits_cleanly(gone);

  Finished refused = fetch({address, "-o", "/dev/null"});
  EXPECT_EQ(refused.code, 1);
  EXPECT_EQ(refused.err, "quorvel-fetch: cannot connect to " + address +
                             ": Connection refused (is another client being served?)\n");
  // A run that fails before the first frame leaves the user's earlier output as it was.
  ScratchDir dir;
  write_text_file(dir.file("earlier.y4m"), "an earlier run's output");
  EXPECT_EQ(
      fetch({address, "-o", dir.file("earlier.y4m"), "--audio-out", dir.file("new.wav")}).code, 1);
  EXPECT_EQ(read_file(dir.file("earlier.y4m")), "an earlier run's output");
  EXPECT_NE(access(dir.file("new.wav").c_str(), F_OK), 0) << "nothing is created either";

  const Finished help = fetch({"--help"});
  EXPECT_EQ(help.code, 0);
  EXPECT_NE(help.out.find("--compression"), std::string::npos);
  EXPECT_EQ(fetch({"--version"}).code, 0);
  EXPECT_EQ(fetch({"127.0.0.1:1", "-o", "/dev/null", "--bogus"}).code, 2);
  EXPECT_EQ(fetch({"127.0.0.1:1"}).code, 2) << "nothing to write";
  EXPECT_EQ(fetch({"127.0.0.1:1", "-o", "x", "--frames", "5-2"}).code, 2);
  EXPECT_EQ(fetch({"127.0.0.1:1", "-o", "x", "--compression", "zstd"}).code, 2);
  struct UsageCase {
    std::vector<std::string> args;
    const char* says;
  };
  const UsageCase usage_cases[] = {
      {{"127.0.0.1:70000", "-o", "x"}, "a number from 0 to 65535 or a TCP service name"},
      {{"127.0.0.1:22050abc", "-o", "x"}, "bad port '22050abc'"},
      {{"127.0.0.1:1", "-o", "x", "--timeout", "-1"}, "--timeout: must be 0 or more"},
      {{"127.0.0.1:1", "-o", "x", "--timeout", "abc"}, "--timeout: 'abc' is not a number"},
      {{"127.0.0.1:1", "-o", "x", "--frames", ":0"}, "bad --frames ':0' (A-B, A-, :N or N)"},
      {{"127.0.0.1:1", "-o", dir.file("both"), "--audio-out", dir.file("both")},
       "cannot both go to"},
      {{"127.0.0.1:1", "-o", "-", "--audio-out", "-"}, "cannot both go to standard output"},
  };
  for (const UsageCase& c : usage_cases) {
    const Finished usage = fetch(c.args);
    EXPECT_EQ(usage.code, 2) << c.args[0] << " " << c.args.back();
    EXPECT_NE(usage.err.find(c.says), std::string::npos) << usage.err;
  }
  EXPECT_NE(access(dir.file("both").c_str(), F_OK), 0);

  Server server = start_server({"--frames", "10", "--size", "16x8", "--loop"});
  const Finished past = fetch({server.address(), "-o", "/dev/null", "--frames", "5-10"});
  EXPECT_EQ(past.code, 1);
  EXPECT_NE(past.err.find("reach past"), std::string::npos) << past.err;
  const int next_port = server.process->wait_for_port(kStartMs);  // --loop listens anew
  // A closed standard output: the media cannot go there, and a file output is not hijacked
  // by the connection's socket taking descriptor 1.
  const std::string closed_stdout = std::string("exec '") + QUORVEL_FETCH_PATH + "' " +
                                    "127.0.0.1:" + std::to_string(next_port) + " --quiet -o ";
  const Finished to_closed = run_program({"/bin/sh", "-c", closed_stdout + "- >&-"});
  EXPECT_EQ(to_closed.code, 2);
  EXPECT_NE(to_closed.err.find("standard output is closed"), std::string::npos) << to_closed.err;
  const Finished beside_closed =
      run_program({"/bin/sh", "-c", closed_stdout + "'" + dir.file("beside.y4m") + "' >&-"});
  EXPECT_EQ(beside_closed.code, 0) << beside_closed.err;
  Y4mFile beside;
  EXPECT_TRUE(read_y4m(dir.file("beside.y4m"), 16 * 2 * 8, &beside));
  EXPECT_EQ(beside.frames.size(), 10u);
  server.process->signal(SIGINT);
  expect_server_exits_cleanly(server);

  // Audio asked for from a stream without any: the video is written, and no empty WAV file.
  Server silent = start_server({"--frames", "3", "--size", "16x8", "--no-audio"});
  const Finished video_only = fetch(
      {silent.address(), "-o", dir.file("silent.y4m"), "--audio-out", dir.file("silent.wav")});
  EXPECT_EQ(video_only.code, 0) << video_only.err;
  EXPECT_NE(video_only.err.find("the stream has no audio"), std::string::npos) << video_only.err;
  Y4mFile silent_video;
  EXPECT_TRUE(read_y4m(dir.file("silent.y4m"), 16 * 2 * 8, &silent_video));
  EXPECT_EQ(silent_video.frames.size(), 3u);
  EXPECT_NE(access(dir.file("silent.wav").c_str(), F_OK), 0);
  expect_server_exits_cleanly(silent);

  const std::string serve = QUORVEL_SERVE_PATH;
  EXPECT_EQ(run_program({serve, "--size", "721x480"}).code, 2);
  EXPECT_EQ(run_program({serve, "--interlaced", "2"}).code, 2);
  EXPECT_EQ(run_program({serve, "--audio", "tone.wav", "--no-audio"}).code, 2);
  // A port is read strictly: none of these may quietly listen on some other port.
  for (const char* port : {"1e3", "65536", "70000", "22050abc", "nosuchservice-quorvel",
                           "127.0.0.1:70000", "127.0.0.1:"}) {
    const Finished bad = run_program({serve, "--port", port});
    EXPECT_EQ(bad.code, 2) << port;
    EXPECT_EQ(bad.err, "quorvel-serve: bad --port '" + std::string(port) +
                           "' (a number from 0 to 65535 or a TCP service name)\n");
  }
  write_text_file(dir.file("in.y4m"), "YUV4MPEG2 W2 H1 F25:1 C422\nFRAME\nabcd");
  struct ServeCase {
    std::vector<std::string> args;
    int code;
    std::string says;  // the whole of stderr
  };
  const ServeCase serve_cases[] = {
      {{"--input", "/nonexistent.y4m"},
       1,
       "quorvel-serve: cannot open /nonexistent.y4m: No such file or directory\n"},
      {{"--input", "-"},
       1,
       "quorvel-serve: standard input (-) is not served; give a file's path\n"},
      {{"--audio", "-"},
       1,
       "quorvel-serve: standard input (-) is not served; give a file's path\n"},
      {{"--input", dir.file("in.y4m"), "--size", "64x48"},
       2,
       "quorvel-serve: --size applies to the test pattern only; the --input file gives its own "
       "size and length\n"},
      {{"--input", dir.file("in.y4m"), "--frames", "5"},
       2,
       "quorvel-serve: --frames applies to the test pattern only; the --input file gives its "
       "own size and length\n"},
      {{"--port", "[::1]:22050"},
       2,
       "quorvel-serve: --port '[::1]:22050' names an IPv6 address, and quorvel-serve listens on "
       "IPv4 only: give 127.0.0.1:22050 for this machine, or :22050 for every interface\n"},
      {{"--port", "::1"},
       2,
       "quorvel-serve: --port '::1' names an IPv6 address, and quorvel-serve listens on IPv4 "
       "only: give 127.0.0.1:PORT for this machine, or :PORT for every interface\n"},
  };
  for (const ServeCase& c : serve_cases) {
    std::vector<std::string> args = c.args;
    args.insert(args.begin(), serve);
    const Finished refused_serve = run_program(args);
    EXPECT_EQ(refused_serve.code, c.code) << c.args[0] << " " << c.args[1];
    EXPECT_EQ(refused_serve.err, c.says);
  }
  EXPECT_EQ(run_program({serve, "--help"}).code, 0);
}

// An output that cannot be written, or that is the input a quorvel-serve serves, is found
// before the client connects: the --once server's one session is still there for the next
// fetch, and the served file is as it was.
TEST(EndToEndTest, OutputsAreCheckedBeforeConnecting) {
  ScratchDir dir;
  const std::string y4m = "YUV4MPEG2 W16 H8 F25:1 Ip C422\nFRAME\n" + std::string(256, 'y');
  write_text_file(dir.file("in.y4m"), y4m);
  mkdir(dir.file("folder").c_str(), 0755);
  Server server = start_server({"--input", dir.file("in.y4m"), "--no-audio"});
  struct Case {
    std::vector<std::string> outputs;
    int code;
    std::string says;
  };
  const Case cases[] = {
      {{"-o", dir.file("no/such/out.y4m")},
       1,
       "quorvel-fetch: cannot create " + dir.file("no/such/out.y4m") + ": there is no folder " +
           dir.file("no/such") + "\n"},
      {{"-o", dir.file("folder")},
       1,
       "quorvel-fetch: cannot write " + dir.file("folder") + ": it is a folder\n"},
      {{"-o", dir.file("in.y4m")},
       2,
       "quorvel-fetch: refusing to write " + dir.file("in.y4m") +
           ": a running quorvel-serve serves it, and writing it would cut it short under the "
           "server\n"},
      {{"-o", "/dev/null", "--audio-out", dir.file("in.y4m")},
       2,
       "quorvel-fetch: refusing to write " + dir.file("in.y4m") +
           ": a running quorvel-serve serves it, and writing it would cut it short under the "
           "server\n"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {server.address()};
    args.insert(args.end(), c.outputs.begin(), c.outputs.end());
    const Finished refused = fetch(args);
    EXPECT_EQ(refused.code, c.code) << c.outputs[1];
    EXPECT_EQ(refused.err, c.says);
  }
  EXPECT_EQ(read_file(dir.file("in.y4m")), y4m);
  const Finished served = fetch({server.address(), "-o", dir.file("out.y4m"), "--quiet"});
  EXPECT_EQ(served.code, 0) << served.err;
  expect_server_exits_cleanly(server);
}

// --help names each option's value as docs/programs.md does (FILE, WxH, 0|1), without
// CLI11's type names, ranges and exclusion lists, and programs.md lists every option of
// both programs.
TEST(EndToEndTest, HelpIsPlainAndProgramsMdListsEveryOption) {
  const std::string doc = read_file(QUORVEL_PROGRAMS_DOC_PATH);
  ASSERT_FALSE(doc.empty());
  for (const char* program : {QUORVEL_SERVE_PATH, QUORVEL_FETCH_PATH}) {
    const Finished help = run_program({program, "--help"});
    ASSERT_EQ(help.code, 0) << program;
    for (const char* noise : {"TEXT", "INT", "FLOAT", "Excludes", " in [", "REQUIRED"})
      EXPECT_EQ(help.out.find(noise), std::string::npos) << program << " says " << noise;
    size_t options = 0;
    std::istringstream lines(help.out);
    std::string line;
    while (std::getline(lines, line)) {
      // "  -o, --output FILE|-   ..." and "  --raw   ...": the names before the value.
      if (line.rfind("  -", 0) != 0) continue;
      std::istringstream words(line);
      std::string word;
      while (words >> word && word[0] == '-') {
        if (word.back() == ',') word.pop_back();
        ++options;
        EXPECT_NE(doc.find("`" + word), std::string::npos)
            << word << " of " << program << " is not in programs.md";
      }
    }
    EXPECT_GT(options, 10u) << help.out;
  }
}

// A socket listening on 127.0.0.1 at a port the system chose (stored in *address) that
// never accepts: connects complete while its queue has room, and nothing is ever answered.
// -1 when it cannot be set up.
int silent_listener(int backlog, sockaddr_in* address) {
  const int listener = socket(AF_INET, SOCK_STREAM, 0);
  address->sin_family = AF_INET;
  address->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address->sin_port = 0;
  socklen_t size = sizeof *address;
  if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(address), size) != 0 ||
      listen(listener, backlog) != 0 ||
      getsockname(listener, reinterpret_cast<sockaddr*>(address), &size) != 0) {
    if (listener >= 0) close(listener);
    return -1;
  }
  return listener;
}

// A server whose listen queue is full never completes the connect: --timeout ends the wait.
TEST(EndToEndTest, TimeoutBoundsTheConnect) {
  sockaddr_in address{};
  const int listener = silent_listener(0, &address);
  ASSERT_GE(listener, 0);
  // Connections that fill the queue; the listener never accepts them.
  std::vector<int> queued;
  for (int i = 0; i < 3; ++i) {
    queued.push_back(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
    connect(queued.back(), reinterpret_cast<sockaddr*>(&address), sizeof address);
  }
  usleep(200 * 1000);
  const Finished waited = fetch({"127.0.0.1:" + std::to_string(ntohs(address.sin_port)), "-o",
                                 "/dev/null", "--timeout", "1"});
  EXPECT_EQ(waited.code, 1);
  EXPECT_NE(waited.err.find("timed out"), std::string::npos) << waited.err;
  for (int fd : queued) close(fd);
  close(listener);
}

// A server that accepted the connection and never answers: Ctrl-C ends the wait at once.
TEST(EndToEndTest, CtrlCEndsTheWaitForAServerThatDoesNotAnswer) {
  sockaddr_in address{};
  const int listener = silent_listener(1, &address);  // the kernel completes the connect
  ASSERT_GE(listener, 0);
  ScratchDir dir;
  ChildProcess fetcher;
  ASSERT_TRUE(
      fetcher.start({QUORVEL_FETCH_PATH, "127.0.0.1:" + std::to_string(ntohs(address.sin_port)),
                     "-o", dir.file("never.y4m")}));
  usleep(500 * 1000);  // connected, waiting for the stream info
  fetcher.signal(SIGINT);
  EXPECT_EQ(fetcher.wait(5000), 130) << fetcher.stderr_text();
  EXPECT_NE(fetcher.stderr_text().find("stopped by Ctrl-C; nothing was written"), std::string::npos)
      << fetcher.stderr_text();
  EXPECT_NE(access(dir.file("never.y4m").c_str(), F_OK), 0);
  close(listener);
}

uint32_t little_endian_u32(const std::string& bytes, size_t offset) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4; ++i)
    value |= static_cast<uint32_t>(static_cast<uint8_t>(bytes[offset + i])) << (8 * i);
  return value;
}

// However a run ends early, its files say what they hold: the Y4M's XLENGTH its frames, the
// WAV's RIFF and data sizes its bytes, also when a second signal follows the first within
// milliseconds (as coreutils' timeout sends one to the program and one to its group). Ctrl-C
// and SIGTERM stop the client cleanly (the server gets Disconnect and exits 0) with 128 +
// the signal, and the WAV holds the audio of every frame written, to the sample; where the
// audio could not all be fetched (the server went away, or a second signal said not to
// wait), it holds less, never more, and the client says how much less.
TEST(EndToEndTest, EarlyEndLeavesHeadersThatSayWhatTheFilesHold) {
  enum class Stopper { kServer, kFetch, kFetchTwice, kTimeoutCommand };
  struct Case {
    const char* name;
    Stopper stopper;
    int signal_number;
    int fetch_code;
    bool audio_of_every_frame;
  };
  const Case cases[] = {
      {"server gone", Stopper::kServer, SIGINT, 1, false},
      {"Ctrl-C", Stopper::kFetch, SIGINT, 130, true},
      {"SIGTERM", Stopper::kFetch, SIGTERM, 143, true},
      {"Ctrl-C twice", Stopper::kFetchTwice, SIGINT, 130, false},
      {"SIGTERM twice", Stopper::kFetchTwice, SIGTERM, 143, false},
      {"timeout relaying SIGTERM", Stopper::kTimeoutCommand, SIGTERM, 143, false},
  };
  for (const Case& c : cases) {
    Server server = start_server({"--size", "320x240", "--frames", "100000"});
    ScratchDir dir;
    const std::string video = dir.file("cut.y4m");
    const std::string audio = dir.file("cut.wav");
    std::vector<std::string> args = {
        QUORVEL_FETCH_PATH, server.address(), "-o", video, "--audio-out", audio};
    // timeout(1) runs the fetch in a process group of its own and, when it is signalled,
    // signals the fetch and then that group.
    if (c.stopper == Stopper::kTimeoutCommand)
      args.insert(args.begin(), {QUORVEL_TIMEOUT_PATH, "600"});
    ChildProcess fetcher;
    ASSERT_TRUE(fetcher.start(args));
    constexpr size_t kFrameRecord = 6 + 320 * 240 * 2;  // "FRAME\n" and the planes
    for (int waited = 0; waited < kRunMs && file_size(video) < 20 * kFrameRecord; waited += 10)
      usleep(10 * 1000);
    (c.stopper == Stopper::kServer ? *server.process : fetcher).signal(c.signal_number);
    if (c.stopper == Stopper::kFetchTwice) fetcher.signal(c.signal_number);
    EXPECT_EQ(fetcher.wait(kRunMs), c.fetch_code) << c.name << ": " << fetcher.stderr_text();
    expect_server_exits_cleanly(server);

    Y4mFile cut;
    ASSERT_TRUE(read_y4m(video, 320 * 240 * 2, &cut)) << c.name << ": whole frames only";
    EXPECT_GE(cut.frames.size(), 20u) << c.name;
    EXPECT_NE((cut.header + " ").find(" XLENGTH=" + std::to_string(cut.frames.size()) + " "),
              std::string::npos)
        << c.name << ": " << cut.header;
    const std::string wav = read_file(audio);
    ASSERT_GE(wav.size(), 44u) << c.name;
    EXPECT_EQ(little_endian_u32(wav, 4), wav.size() - 8) << c.name << ": RIFF size";
    EXPECT_EQ(little_endian_u32(wav, 40), wav.size() - 44) << c.name << ": data size";
    EXPECT_GT(wav.size(), 44u) << c.name;
    const uint64_t of_frames = tone_samples_of_frames(static_cast<int64_t>(cut.frames.size()));
    const uint64_t samples = (wav.size() - 44) / 4;
    if (c.audio_of_every_frame) {
      EXPECT_EQ(samples, of_frames) << c.name << ": " << cut.frames.size() << " frames";
    } else {
      EXPECT_LE(samples, of_frames) << c.name << ": " << cut.frames.size() << " frames";
      if (samples < of_frames) {
        EXPECT_NE(
            fetcher.stderr_text().find("the audio ends " + std::to_string(of_frames - samples) +
                                       " samples before the video's last frame"),
            std::string::npos)
            << c.name << ": " << fetcher.stderr_text();
      }
    }
    if (c.stopper != Stopper::kServer) {
      EXPECT_NE(fetcher.stderr_text().find("stopped by"), std::string::npos)
          << fetcher.stderr_text();
    }
  }
}

// Video and audio into two named pipes read by one ffmpeg, which opens its inputs one after
// the other and reads well into the first (a frame of video, some 224 KiB of a WAV) before
// it opens the second: neither output may wait for the other, in either order. Every wait
// is bounded, so a deadlock fails the test instead of hanging it.
TEST(EndToEndTest, TwoNamedPipesMuxInOneFfmpegInEitherOrder) {
  if (!have_ffmpeg()) GTEST_SKIP() << "no ffmpeg";
  for (const bool video_first : {true, false}) {
    const char* order = video_first ? "video first" : "audio first";
    ScratchDir dir;
    const std::string video = dir.file("v.y4m");
    const std::string audio = dir.file("a.wav");
    ASSERT_EQ(mkfifo(video.c_str(), 0600), 0);
    ASSERT_EQ(mkfifo(audio.c_str(), 0600), 0);
    Server server = start_server({"--size", "320x240", "--frames", "90"});
    ChildProcess fetcher;
    ASSERT_TRUE(fetcher.start(
        {QUORVEL_FETCH_PATH, server.address(), "-o", video, "--audio-out", audio, "--quiet"}));
    const std::string first = video_first ? video : audio;
    const std::string second = video_first ? audio : video;
    const int video_input = video_first ? 0 : 1;
    const Finished muxed = run_program(
        {QUORVEL_FFMPEG_PATH, "-v", "error", "-nostdin", "-i", first, "-i", second, "-map",
         std::to_string(video_input) + ":v", "-f", "yuv4mpegpipe", dir.file("out.y4m"), "-map",
         std::to_string(1 - video_input) + ":a", "-c:a", "pcm_s16le", dir.file("out.wav")});
    EXPECT_EQ(muxed.code, 0) << order << ": " << muxed.err;
    EXPECT_EQ(fetcher.wait(kRunMs), 0) << order << ": " << fetcher.stderr_text();
    expect_server_exits_cleanly(server);

    Y4mFile y4m;
    ASSERT_TRUE(read_y4m(dir.file("out.y4m"), 320 * 240 * 2, &y4m)) << order;
    EXPECT_EQ(y4m.frames.size(), 90u) << order;
    WavFile wav;
    ASSERT_TRUE(read_wav(dir.file("out.wav"), &wav)) << order;
    const uint32_t samples = serve::tone_samples_for(90, 30000, 1001, 48000);
    EXPECT_TRUE(wav.data == tone_bytes(samples, 0, samples)) << order << ": " << wav.data.size();
  }
}

// The first Ctrl-C ends a wait on an output as it ends a wait on the server: a reader that
// never reads (`-o - | sleep 8`), or a named pipe that nothing opens. The audio, to a file,
// ran ahead of the stalled video meanwhile; it is cut to the frames the video got.
TEST(EndToEndTest, FirstCtrlCEndsAWaitOnAnOutput) {
  for (const bool named_pipe : {false, true}) {
    const char* name = named_pipe ? "named pipe" : "pipe";
    ScratchDir dir;
    const std::string fifo = dir.file("never_read.y4m");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    Server server = start_server({"--size", "320x240", "--frames", "1000"});
    ChildProcess fetcher;
    ASSERT_TRUE(fetcher.start({QUORVEL_FETCH_PATH, server.address(), "-o", named_pipe ? fifo : "-",
                               "--audio-out", dir.file("a.wav")}));
    // Standard output is a pipe the test never reads: after 64 KiB the fetch waits on it.
    // The named pipe is never opened for reading: the fetch waits to open it, silently.
    if (!named_pipe) {
      ASSERT_NE(fetcher.wait_for_stderr_line("the stream says", kStartMs), "");
    }
    usleep(1000 * 1000);
    ASSERT_EQ(fetcher.wait(0), -1) << "still waiting on its output";
    fetcher.signal(SIGINT);
    EXPECT_EQ(fetcher.wait(5000), 130) << name << ": " << fetcher.stderr_text();
    expect_server_exits_cleanly(server);

    // "stopped by Ctrl-C; 0 of 1000 frames and 0 of 1601600 audio samples were written"
    const std::string& err = fetcher.stderr_text();
    const size_t stopped = err.find("stopped by Ctrl-C; ");
    ASSERT_NE(stopped, std::string::npos) << err;
    const int frames = named_pipe ? 0 : std::atoi(err.c_str() + stopped + 19);
    const std::string wav = read_file(dir.file("a.wav"));
    ASSERT_GE(wav.size(), 44u) << name;
    EXPECT_EQ((wav.size() - 44) / 4, tone_samples_of_frames(frames))
        << name << ": " << frames << " frames";
    EXPECT_EQ(little_endian_u32(wav, 40), wav.size() - 44) << name;
  }
}

// The local address of the socket listening on this TCP port, as /proc/net/tcp gives it
// ("0100007F" is 127.0.0.1); empty when none listens there.
std::string listening_address_of(int port) {
  std::FILE* table = std::fopen("/proc/net/tcp", "r");
  if (table == nullptr) return "";
  char line[512];
  std::string found;
  while (found.empty() && std::fgets(line, sizeof line, table) != nullptr) {
    char local[64] = {};
    char remote[64] = {};
    unsigned state = 0;
    // "  0: 0100007F:5622 00000000:0000 0A ..."; 0A is LISTEN.
    if (std::sscanf(line, " %*d: %63s %63s %x", local, remote, &state) != 3 || state != 0x0a) {
      continue;
    }
    const char* colon = std::strchr(local, ':');
    if (colon != nullptr && std::strtol(colon + 1, nullptr, 16) == port) {
      found.assign(local, static_cast<size_t>(colon - local));
    }
  }
  std::fclose(table);
  return found;
}

TEST(EndToEndTest, BusyPortIsAClearFailure) {
  Server first = start_server({});
  EXPECT_EQ(listening_address_of(first.port), "00000000") << "a plain port: every interface";
  const Finished second = run_program({QUORVEL_SERVE_PATH, "--port", std::to_string(first.port)});
  EXPECT_EQ(second.code, 1);
  EXPECT_EQ(second.err, "quorvel-serve: cannot listen on port " + std::to_string(first.port) +
                            ": Address already in use\n");
  first.process->signal(SIGINT);
  expect_server_exits_cleanly(first);
}

TEST(EndToEndTest, AddressBeforeThePortIsTheOnlyOneListenedOn) {
  ChildProcess process;
  ASSERT_TRUE(process.start({QUORVEL_SERVE_PATH, "--port", "127.0.0.1:0"}));
  const std::string line = process.wait_for_stderr_line("listening on port ", kStartMs);
  const int port = std::atoi(line.c_str() + line.find("port ") + 5);
  ASSERT_GT(port, 0) << process.stderr_text();
  EXPECT_NE(line.find(" at 127.0.0.1"), std::string::npos) << line;
  EXPECT_EQ(listening_address_of(port), "0100007F");
  client::DeliveryClient client;
  ASSERT_TRUE(client.connect("127.0.0.1", std::to_string(port), 5000)) << client.error();
  ASSERT_TRUE(client.get_stream_info(nullptr)) << client.error();
  ASSERT_TRUE(client.disconnect());
  EXPECT_EQ(process.wait(kRunMs), 0) << process.stderr_text();

  const Finished elsewhere = run_program({QUORVEL_SERVE_PATH, "--port", "192.0.2.7:22050"});
  EXPECT_EQ(elsewhere.code, 1);
  EXPECT_EQ(elsewhere.err,
            "quorvel-serve: cannot listen on 192.0.2.7:22050: Cannot assign requested address\n");
}

}  // namespace
}  // namespace quorvel::testing
