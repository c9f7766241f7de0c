// quorvel-serve: the Linux stand-in host. It serves a built-in test pattern and tone, or a
// Y4M and a WAV file, through the same serving run the plug-in gives the video editor.
// Exits 0 when the run returns 1 (served, disconnected or stopped with Ctrl-C), 1 when the
// port cannot be listened on or an input file is unusable (also when it is cut shorter
// while served), 2 on a usage error.
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "apps/common/command_line.h"
#include "apps/common/port_argument.h"
#include "apps/common/standard_streams.h"
#include "apps/serve/input_notes.h"
#include "apps/serve/serve_progress.h"
#include "apps/serve/serve_values.h"
#include "apps/serve/stand_in_host.h"
#include "apps/serve/test_pattern.h"
#include "apps/serve/test_tone.h"
#include "apps/serve/wav_file_audio.h"
#include "apps/serve/y4m_file_video.h"
#include "server/run_server.h"
#include "wire/protocol.h"

namespace {

using namespace quorvel::serve;
using quorvel::apps::kExitFailure;
using quorvel::apps::kExitOk;
using quorvel::apps::kExitUsage;

constexpr char kProgram[] = "quorvel-serve";
constexpr int32_t kToneRate = 48000;
constexpr int32_t kToneChannels = 2;

struct Options {
  std::string size = "720x480";
  std::string rate = "30000/1001";
  int32_t frames = 3000;
  std::string input;
  std::string audio;
  bool no_audio = false;
  std::string port = quorvel::kDefaultPortText;
  int interlaced = quorvel::kDefaultSettings.interlaced;
  int top_field_first = quorvel::kDefaultSettings.top_field_first;
  // Given on the command line: an input file's I tag does not override them, and the
  // pattern's values are refused with a file.
  bool interlaced_given = false;
  bool top_field_first_given = false;
  bool size_given = false;
  bool rate_given = false;
  bool frames_given = false;
  int read_ahead = quorvel::kDefaultSettings.read_ahead;
  int keep_waiting = 0;
  int clients = 1;
  bool progress = false;
  bool quiet = false;
};

void add_options(CLI::App& app, Options& options) {
  app.add_option("--size", options.size, "the test pattern's size, even width (default 720x480)")
      ->option_text("WxH");
  app.add_option("--rate", options.rate,
                 "the test pattern's frame rate, and an --input file's when it gives none "
                 "(default 30000/1001)")
      ->option_text("N/D");
  app.add_option("--frames", options.frames, "the test pattern's length (default 3000)")
      ->check(CLI::Range(1, INT32_MAX))
      ->option_text("N");
  app.add_option("--input", options.input,
                 "serve this YUV4MPEG2 file (8-bit 4:2:0, 4:2:2, 4:4:4 or mono) instead of the "
                 "pattern")
      ->option_text("FILE.y4m");
  auto* audio = app.add_option("--audio", options.audio,
                               "serve this WAV file (16-bit PCM, 1 to " +
                                   std::to_string(quorvel::kMaxAudioChannels) +
                                   " channels) instead of the tone")
                    ->option_text("FILE.wav");
  app.add_flag("--no-audio", options.no_audio, "serve no audio")->excludes(audio);
  app.add_option("--port", options.port,
                 std::string("where to listen (default ") + quorvel::kDefaultPortText +
                     "): PORT or :PORT on every interface, ADDRESS:PORT on that IPv4 address "
                     "only; port 0 picks a free one")
      ->option_text("PORT");
  app.add_option("--interlaced", options.interlaced,
                 "say the video is interlaced (default 1, or as an --input file's I tag says)")
      ->check(CLI::Range(0, 1))
      ->option_text("0|1");
  app.add_option("--tff", options.top_field_first,
                 "say the top field comes first (default 1, or as the I tag says)")
      ->check(CLI::Range(0, 1))
      ->option_text("0|1");
  app.add_option("--read-ahead", options.read_ahead,
                 "prepare the next frame after each reply (default 1)")
      ->check(CLI::Range(0, 1))
      ->option_text("0|1");
  auto* once = app.add_flag("--once", "serve one client, then exit (the default)");
  auto* keep_waiting =
      app.add_option("--keep-waiting", options.keep_waiting,
                     "1: after each client, listen for the next one until Ctrl-C (the plug-in's "
                     "keep-waiting setting); 0 is --once")
          ->check(CLI::Range(0, 1))
          ->option_text("0|1")
          ->excludes(once);
  app.add_flag_callback(
         "--loop", [&options] { options.keep_waiting = 1; }, "the same as --keep-waiting 1")
      ->excludes(once)
      ->excludes(keep_waiting);
  app.add_option("--clients", options.clients,
                 "serve up to N clients at once, listening until Ctrl-C when N is above 1 (the "
                 "plug-in's several-clients setting)")
      ->check(CLI::Range(1, quorvel::kMaxClients))
      ->capture_default_str();
  app.add_flag("--progress", options.progress, "show progress even when stderr is no terminal");
  app.add_flag("-q,--quiet", options.quiet,
               "no progress and no notes, only the port line and "
               "errors");
  app.set_version_flag("--version", std::string(kProgram) + " " + QUORVEL_VERSION);
  quorvel::apps::use_help_formatter(app);
}

int usage_error(const std::string& message) {
  std::fprintf(stderr, "%s: %s\n", kProgram, message.c_str());
  return kExitUsage;
}

int failure(const std::string& message) {
  std::fprintf(stderr, "%s: %s\n", kProgram, message.c_str());
  return kExitFailure;
}

void print_notes(const std::vector<std::string>& notes) {
  for (const std::string& note : notes) std::fprintf(stderr, "%s: %s\n", kProgram, note.c_str());
}

struct Sources {
  std::unique_ptr<VideoSource> video;
  std::unique_ptr<AudioSource> audio;
  std::optional<Y4mInterlace> file_interlace;  // the --input file's field order
};

// Returns kExitOk, or the code to exit with after a message.
int open_sources(const Options& options, Sources* sources) {
  VideoFormat pattern;
  if (!parse_frame_size(options.size, &pattern.width, &pattern.height)) {
    return usage_error("bad --size '" + options.size + "' (WxH, even width, at most 16384x16384)");
  }
  if (!parse_frame_rate(options.rate, &pattern.rate, &pattern.scale)) {
    return usage_error("bad --rate '" + options.rate + "' (N/D with positive N and D)");
  }
  pattern.frame_count = options.frames;
  if (!options.input.empty() && (options.size_given || options.frames_given)) {
    return usage_error(std::string(options.size_given ? "--size" : "--frames") +
                       " applies to the test pattern only; the --input file gives its own size "
                       "and length");
  }
  std::string error;
  if (options.input.empty()) {
    sources->video = std::make_unique<TestPattern>(pattern);
  } else {
    auto file = Y4mFileVideo::open(options.input, pattern.rate, pattern.scale, &error);
    if (file == nullptr) return failure(error);
    sources->file_interlace = file->interlace();
    if (!options.quiet) print_notes(y4m_notes(options.input, *file, options.rate_given));
    sources->video = std::move(file);
  }
  if (!options.audio.empty()) {
    auto file = WavFileAudio::open(options.audio, &error);
    if (file == nullptr) return failure(error);
    if (!options.quiet) print_notes(wav_notes(options.audio, *file, sources->video->format()));
    sources->audio = std::move(file);
  } else if (options.input.empty() && !options.no_audio) {
    const VideoFormat& video = sources->video->format();
    const AudioFormat tone{kToneRate, kToneChannels,
                           tone_samples_for(video.frame_count, video.rate, video.scale, kToneRate)};
    sources->audio = std::make_unique<TestTone>(tone);
  }
  return kExitOk;
}

// Announces an input file as its I tag says, unless the command line said it. A file that
// does not say keeps the settings' defaults, with a note, since a progressive file
// announced as interlaced is easily missed downstream.
void take_field_order(const Sources& sources, Options* options) {
  if (!sources.file_interlace) return;
  const Y4mInterlace interlace = *sources.file_interlace;
  const bool progressive = interlace == Y4mInterlace::kProgressive;
  if (!options->interlaced_given && (progressive || interlace == Y4mInterlace::kTopFieldFirst ||
                                     interlace == Y4mInterlace::kBottomFieldFirst)) {
    options->interlaced = progressive ? 0 : 1;
  }
  if (!options->top_field_first_given) {
    if (interlace == Y4mInterlace::kTopFieldFirst) options->top_field_first = 1;
    if (interlace == Y4mInterlace::kBottomFieldFirst) options->top_field_first = 0;
  }
  const bool said = interlace != Y4mInterlace::kUnknown && interlace != Y4mInterlace::kMixed;
  const bool settled =
      options->interlaced_given && (options->interlaced == 0 || options->top_field_first_given);
  if (said || settled || options->quiet) return;
  const char* why = interlace == Y4mInterlace::kMixed ? " for the whole file (Im)" : "";
  const char* order = options->interlaced == 0        ? "progressive"
                      : options->top_field_first != 0 ? "interlaced, top field first"
                                                      : "interlaced, bottom field first";
  std::fprintf(stderr,
               "%s: %s does not say its field order%s; announcing it as %s (--interlaced %d "
               "--tff %d); give --interlaced and --tff to say otherwise\n",
               kProgram, options->input.c_str(), why, order, options->interlaced,
               options->top_field_first);
}

void on_signal(int) {
  StandInHost::request_abort();
}

void install_signal_handlers() {
  struct sigaction action {};
  action.sa_handler = on_signal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
}

struct ListenState {
  ServeProgress* progress;
  bool quiet;
  bool listening = false;
  std::string failure;  // why the run could not listen, in the system's words
};

std::string dotted(uint32_t ipv4) {
  char text[16];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", ipv4 >> 24, ipv4 >> 16 & 0xff, ipv4 >> 8 & 0xff,
                ipv4 & 0xff);
  return text;
}

// Each listen after the first follows the end of a client's conversation.
void on_listening(void* context, const quorvel::ListenEndpoint& endpoint) {
  auto* state = static_cast<ListenState*>(context);
  if (state->listening) {
    state->progress->end_run();
    if (!state->quiet) {
      std::fprintf(stderr, "%s: client done; waiting for the next client\n", kProgram);
    }
  }
  state->listening = true;
  const char* every = endpoint.ipv4 == quorvel::kEveryInterface ? " (every interface)" : "";
  std::fprintf(stderr, "%s: listening on port %u at %s%s\n", kProgram,
               static_cast<unsigned>(endpoint.port), dotted(endpoint.ipv4).c_str(), every);
  std::fflush(stderr);
}

void on_listen_failed(void* context, const char* reason) {
  static_cast<ListenState*>(context)->failure = reason;
}

// "[::1]:22050" or a bare IPv6 literal ("::1", "fe80::1:22050"): more than one colon.
bool names_ipv6_address(const std::string& text) {
  return text.find('[') != std::string::npos || std::count(text.begin(), text.end(), ':') > 1;
}

// PORT or ADDRESS:PORT, the port read strictly (the address, before the first colon, is
// left to the server to resolve; an empty one means every interface). The server's own
// reading is lenient, as the plug-in's must be, so a mistyped port is refused here.
// Returns kExitOk, or the code to exit with after a message.
int check_port(const std::string& text) {
  if (text.size() >= static_cast<size_t>(quorvel::kPortTextLimit)) {
    return usage_error("bad --port '" + text + "' (too long for the settings)");
  }
  if (names_ipv6_address(text)) {
    const size_t bracket = text.find("]:");
    const std::string port = bracket == std::string::npos ? "PORT" : text.substr(bracket + 2);
    return usage_error("--port '" + text +
                       "' names an IPv6 address, and quorvel-serve listens "
                       "on IPv4 only: give 127.0.0.1:" +
                       port + " for this machine, or :" + port + " for every interface");
  }
  const size_t colon = text.find(':');
  if (!quorvel::apps::is_port_argument(colon == std::string::npos ? text
                                                                  : text.substr(colon + 1))) {
    return usage_error("bad --port '" + text + "' (" + quorvel::apps::kPortArgumentForms + ")");
  }
  return kExitOk;
}

// "port 22050" for a plain port, the text itself when it names an address.
std::string listen_target(const std::string& port_text) {
  return port_text.find(':') == std::string::npos ? "port " + port_text : port_text;
}

// REQUIRES: check_port accepted options.port.
int serve(const Options& options, const Sources& sources) {
  quorvel::ServerSettings settings = quorvel::kDefaultSettings;
  std::memset(settings.port_text, 0, sizeof settings.port_text);
  std::memcpy(settings.port_text, options.port.data(), options.port.size());
  settings.interlaced = options.interlaced;
  settings.top_field_first = options.top_field_first;
  settings.read_ahead = options.read_ahead;
  quorvel::set_keeps_waiting(&settings, options.keep_waiting != 0);
  quorvel::set_serves_several_clients(&settings, options.clients > 1);

  ServeProgress progress(!options.quiet && (options.progress || isatty(STDERR_FILENO) != 0),
                         kProgram);
  StandInHost host(sources.video.get(), sources.audio.get(), progress.listener());
  ListenState state{&progress, options.quiet, false, {}};
  const quorvel::ListenObserver observer{&on_listening, &state, &on_listen_failed};
  const int32_t result = quorvel::run_server(host.info(), settings, &observer, options.clients);
  progress.end_run();
  if (!host.failure().empty()) return failure(host.failure());
  if (result == 0) return failure("cannot set up the network or the listening socket");
  if (!state.listening) {
    return failure("cannot listen on " + listen_target(options.port) + ": " + state.failure);
  }
  return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  // Before anything is opened: a listening socket must not become standard error.
  quorvel::apps::open_closed_standard_streams();
  CLI::App app{
      "Stand-in host: serves a test pattern and tone, or a Y4M and a WAV file, to one "
      "TCPDeliver client at a time, or with --clients to several at once.",
      kProgram};
  Options options;
  add_options(app, options);
  if (const int code = quorvel::apps::parse_command_line(app, argc, argv, kProgram); code >= 0)
    return code;
  if (const int code = check_port(options.port); code != kExitOk) return code;
  if (options.clients > 1 && app.get_option("--once")->count() > 0) {
    return usage_error("--once serves one client; --clients above 1 serves until Ctrl-C");
  }
  options.interlaced_given = app.get_option("--interlaced")->count() > 0;
  options.top_field_first_given = app.get_option("--tff")->count() > 0;
  options.size_given = app.get_option("--size")->count() > 0;
  options.rate_given = app.get_option("--rate")->count() > 0;
  options.frames_given = app.get_option("--frames")->count() > 0;
  Sources sources;
  if (const int code = open_sources(options, &sources); code != kExitOk) return code;
  take_field_order(sources, &options);
  install_signal_handlers();
  return serve(options, sources);
}
