// quorvel-fetch: receives a stream from a frame server and writes Y4M (or raw YUY2) video
// and WAV audio. Exit codes: 0 done (also when the reader of an output closed it early),
// 1 failure (connection refused or lost, malformed reply), 2 usage, 130 and 143 after
// Ctrl-C and SIGTERM (the run stops cleanly: Disconnect, headers that say what was written;
// a second signal skips the replies on their way, not the headers).
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "apps/common/command_line.h"
#include "apps/common/port_argument.h"
#include "apps/common/standard_streams.h"
#include "apps/fetch/compression_choice.h"
#include "apps/fetch/fetch_job.h"
#include "apps/fetch/output_check.h"
#include "apps/fetch/server_address.h"
#include "client/client_socket.h"
#include "client/delivery_client.h"

namespace {

using namespace quorvel::client;
using quorvel::apps::kExitFailure;
using quorvel::apps::kExitOk;
using quorvel::apps::kExitUsage;

constexpr char kProgram[] = "quorvel-fetch";
constexpr int kMaxDecodeThreads = 16;

// One decode thread for each core this process may run on beyond the one that receives,
// at least one: a client with cores to spare decodes several frames at once.
int default_decode_threads() {
  cpu_set_t cores;
  CPU_ZERO(&cores);
  const int count = sched_getaffinity(0, sizeof cores, &cores) == 0 ? CPU_COUNT(&cores) : 1;
  return std::max(1, std::min(kMaxDecodeThreads, count - 1));
}

struct Options {
  std::string server;
  std::string output;
  bool raw = false;
  std::string audio_output;
  std::string frames;
  std::string field_order = "auto";
  std::string compression = "none";
  bool progress = false;
  bool quiet = false;
  int requests_ahead = FetchPlan::kDefaultRequestsAhead;
  int decode_threads = default_decode_threads();
  double timeout_seconds = 0;
};

// "a|b|c", as the help shows a choice of words.
std::string alternatives(const std::vector<std::string>& words) {
  std::string text;
  for (const std::string& word : words) text += (text.empty() ? "" : "|") + word;
  return text;
}

void add_options(CLI::App& app, Options& options) {
  app.add_option("server", options.server,
                 std::string("the frame server: a name or an address (IPv6 in brackets, [::1]) "
                             "and the port, ") +
                     quorvel::kDefaultPortText + " by default")
      ->required()
      ->option_text("HOST[:PORT]");
  app.add_option("-o,--output", options.output,
                 "write the video there as YUV4MPEG2 4:2:2; - is standard output")
      ->option_text("FILE|-");
  app.add_flag("--raw", options.raw, "write packed YUY2 frames instead of Y4M");
  app.add_option("--audio-out", options.audio_output,
                 "write the audio there as WAV; - is standard output")
      ->option_text("FILE|-");
  app.add_option("--frames", options.frames,
                 "the frames to fetch, numbered from 0, and the audio that plays during them: "
                 "A-B (B included), A- (to the end), :N (the first N) or N (frame N alone); "
                 "default all")
      ->option_text("RANGE");
  app.add_option("--field-order", options.field_order,
                 "the Y4M's interlace tag; auto (the default) takes the stream's")
      ->check(CLI::IsMember({"auto", "progressive", "tff", "bff"}))
      ->option_text("auto|progressive|tff|bff");
  app.add_option("--compression", options.compression,
                 "ask for compressed frames; auto: the fastest (fano, else lzo); default none")
      ->check(CLI::IsMember(compression_choices()))
      ->option_text(alternatives(compression_choices()));
  app.add_flag("--progress", options.progress,
               "show the progress line even when stderr is no terminal");
  app.add_flag("-q,--quiet", options.quiet, "print nothing but errors");
  app.add_option("--depth", options.requests_ahead,
                 "requests sent ahead of the replies, 1 to 64 (default 8), so that the server "
                 "always finds the next one waiting; 1 waits for each reply")
      ->check(CLI::Range(1, 64))
      ->option_text("N");
  app.add_option("--threads", options.decode_threads,
                 "threads that decode and convert frames, several at once, 1 to " +
                     std::to_string(kMaxDecodeThreads) +
                     " (default: the cores available, less one for receiving); the frames are "
                     "still written in order")
      ->check(CLI::Range(1, kMaxDecodeThreads))
      ->option_text("N");
  app.add_option("--timeout", options.timeout_seconds,
                 "give up when the server does not accept the connection, or is silent, this "
                 "long (default 0: wait forever)")
      ->check(CLI::Validator(
          [](const std::string& text) {
            char* end = nullptr;
            const double seconds = std::strtod(text.c_str(), &end);
            if (end == text.c_str() || *end != '\0' || std::isnan(seconds))
              return "'" + text + "' is not a number of seconds";
            return seconds >= 0 ? std::string() : "must be 0 or more, got '" + text + "'";
          },
          "SECONDS"))
      ->option_text("SECONDS");
  app.set_version_flag("--version", std::string(kProgram) + " " + QUORVEL_VERSION);
  quorvel::apps::use_help_formatter(app);
}

int usage_error(const std::string& message) {
  std::fprintf(stderr, "%s: %s\n", kProgram, message.c_str());
  return kExitUsage;
}

void print_notice(void* /*context*/, const std::string& text) {
  std::fprintf(stderr, "%s: %s\n", kProgram, text.c_str());
}

// The first signal that asked the run to stop (0 while none has), and how many have. The
// handler runs with both signals blocked, so the count is never updated twice at once.
volatile std::sig_atomic_t stop_signal = 0;
volatile std::sig_atomic_t stop_signals = 0;

void on_stop_signal(int signal_number) {
  if (stop_signal == 0) stop_signal = signal_number;
  if (stop_signals < 2) stop_signals = stop_signals + 1;
}

// Once: stop after the replies on their way. Twice (a second Ctrl-C, or coreutils' timeout,
// which signals the program and then its process group): stop without waiting for the
// server. Either way the program ends through the mend of its files, never by the signal.
Stop stop_check() {
  return stop_signals == 0 ? Stop::kNone : stop_signals == 1 ? Stop::kAsked : Stop::kNow;
}

bool stop_requested() {
  return stop_signals != 0;
}

const char* signal_name() {
  return stop_signal == SIGTERM ? "SIGTERM" : "Ctrl-C";
}

void install_stop_handlers() {
  struct sigaction action {};
  action.sa_handler = on_stop_signal;
  sigemptyset(&action.sa_mask);
  sigaddset(&action.sa_mask, SIGINT);
  sigaddset(&action.sa_mask, SIGTERM);
  // No SA_RESTART: a signal interrupts the wait it comes in, which then looks at the stop.
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

// True when both outputs name the same file or pipe, which would interleave video and
// audio into one mess. /dev/null and other devices may well take both.
bool stat_output(const std::string& output, struct stat* info) {
  return output == "-" ? fstat(STDOUT_FILENO, info) == 0 : stat(output.c_str(), info) == 0;
}

bool same_output(const std::string& video, const std::string& audio) {
  if (video.empty() || audio.empty()) return false;
  struct stat video_info {};
  struct stat audio_info {};
  if (!stat_output(video, &video_info) || !stat_output(audio, &audio_info))
    return video == audio;  // one file, not created yet
  return video_info.st_dev == audio_info.st_dev && video_info.st_ino == audio_info.st_ino &&
         !S_ISCHR(video_info.st_mode);
}

// Checks the options that CLI11 cannot, and fills the plan.
int make_plan(const Options& options, bool stdout_closed, FetchPlan* plan, ServerAddress* address) {
  if (!parse_server_address(options.server, address))
    return usage_error("bad server address '" + options.server + "'");
  if (!quorvel::apps::is_port_argument(address->port)) {
    return usage_error("bad port '" + address->port + "' in '" + options.server + "' (" +
                       quorvel::apps::kPortArgumentForms + ")");
  }
  if (options.output.empty() && options.audio_output.empty())
    return usage_error("nothing to write: give -o and/or --audio-out");
  if (options.output == "-" && options.audio_output == "-")
    return usage_error("video and audio cannot both go to standard output");
  if (same_output(options.output, options.audio_output))
    return usage_error("video and audio cannot both go to " + options.output);
  if (options.raw && options.output.empty()) return usage_error("--raw needs -o");
  const bool to_stdout = options.output == "-" || options.audio_output == "-";
  if (to_stdout && stdout_closed)
    return usage_error("standard output is closed; give a file or pipe standard output");
  if (to_stdout && isatty(STDOUT_FILENO) != 0) {
    return usage_error("refusing to write media to a terminal; redirect or pipe standard output");
  }
  if (!options.frames.empty()) {
    if (!parse_frame_range(options.frames, &plan->frames))
      return usage_error("bad --frames '" + options.frames + "' (A-B, A-, :N or N)");
    plan->frames_given = true;
  }
  parse_field_order(options.field_order, &plan->field_order);
  CompressionChoice choice;
  std::string problem;
  if (!choose_compression(options.compression, &choice, &problem)) return usage_error(problem);
  plan->set_compression = choice.send;
  plan->compression_mask = choice.mask;
  plan->raw_video = options.raw;
  plan->requests_ahead = options.requests_ahead;
  plan->decode_threads = options.decode_threads;
  plan->stop = stop_check;
  return kExitOk;
}

// The end of a run the user stopped: a note of what was written, and 128 + the signal.
int stopped_run(const std::string& counts, bool quiet) {
  if (!quiet) {
    const std::string what = counts.empty() ? "nothing was written" : counts + " were written";
    std::fprintf(stderr, "%s: stopped by %s; %s\n", kProgram, signal_name(), what.c_str());
  }
  return 128 + stop_signal;
}

// "97 of 150 frames and 155251 of 240240 audio samples", of the parts the run wrote.
std::string written_counts(const FetchOutcome& outcome, bool video, bool audio) {
  std::string counts;
  if (video) {
    counts = std::to_string(outcome.frames_written) + " of " +
             std::to_string(outcome.frames_planned) + " frames";
  }
  if (audio) {
    if (!counts.empty()) counts += " and ";
    counts += std::to_string(outcome.audio_samples_written) + " of " +
              std::to_string(outcome.audio_samples_planned) + " audio samples";
  }
  return counts;
}

bool ended_early(const FetchOutcome& outcome) {
  return outcome.frames_written < outcome.frames_planned ||
         outcome.audio_samples_written < outcome.audio_samples_planned;
}

int fetch(const Options& options, bool stdout_closed) {
  FetchPlan plan;
  ServerAddress address;
  if (const int code = make_plan(options, stdout_closed, &plan, &address); code != kExitOk)
    return code;

  for (const std::string* path : {&options.output, &options.audio_output}) {
    std::string problem;
    const OutputCheck check = path->empty() ? OutputCheck::kOk : check_output_path(*path, &problem);
    if (check == OutputCheck::kServed) return usage_error(problem);
    if (check == OutputCheck::kCannotWrite) {
      std::fprintf(stderr, "%s: %s\n", kProgram, problem.c_str());
      return kExitFailure;
    }
  }
  // Created by the fetch once the first frame is in: a failed run leaves earlier files alone.
  OutputFile video(options.output);
  OutputFile audio(options.audio_output);

  DeliveryClient client;
  client.set_stop_check(stop_check);
  if (!client.connect(address.host, address.port,
                      timeout_ms_from_seconds(options.timeout_seconds))) {
    if (stop_requested()) return stopped_run("", options.quiet);
    // quorvel-serve, like the plug-in, has no listener while it serves a client.
    const char* hint = client.connection_refused() ? " (is another client being served?)" : "";
    std::fprintf(stderr, "%s: %s%s\n", kProgram, client.error().c_str(), hint);
    return kExitFailure;
  }
  const bool show_progress =
      !options.quiet && !options.output.empty() && (options.progress || isatty(STDERR_FILENO) != 0);
  FetchProgress progress(show_progress);
  FetchSinks sinks;
  sinks.video = options.output.empty() ? nullptr : &video;
  sinks.audio = options.audio_output.empty() ? nullptr : &audio;
  sinks.progress = &progress;
  if (!options.quiet) sinks.notice = print_notice;

  const FetchOutcome outcome = run_fetch(client, plan, sinks);
  const bool wrote_video = video.is_open();
  const bool wrote_audio = audio.is_open();
  // The counts of an early end: what a reader of a pipe got (files say it in their headers).
  const std::string counts = written_counts(outcome, wrote_video, wrote_audio);
  if (outcome.audio_samples_missing > 0 && !options.quiet) {
    std::fprintf(stderr,
                 "%s: the audio ends %llu samples before the video's last frame: the run ended "
                 "before they could be fetched\n",
                 kProgram, static_cast<unsigned long long>(outcome.audio_samples_missing));
  }
  // A stop that interrupted a wait for the server ends the run as a failed receive would.
  const bool stopped = outcome.stopped || stop_requested();
  if (!outcome.ok && !stopped) {
    std::fprintf(stderr, "%s: %s\n", kProgram, outcome.error.c_str());
    if (!counts.empty() && !options.quiet)
      std::fprintf(stderr, "%s: %s were written\n", kProgram, counts.c_str());
    return kExitFailure;
  }
  if (video.close() == WriteResult::kError || audio.close() == WriteResult::kError) {
    std::fprintf(stderr, "%s: cannot finish writing the output: %s%s\n", kProgram,
                 video.last_error().c_str(), audio.last_error().c_str());
    return kExitFailure;
  }
  if (stopped) return stopped_run(counts, options.quiet);
  if (ended_early(outcome) && !options.quiet) {
    std::fprintf(stderr, "%s: the output was closed; stopped after %s\n", kProgram, counts.c_str());
  }
  return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  const quorvel::apps::ClosedStandardStreams closed = quorvel::apps::open_closed_standard_streams();
  // A reader that closes the pipe gives EPIPE, so the job can send Disconnect and stop.
  std::signal(SIGPIPE, SIG_IGN);
  CLI::App app{
      "Receives video and audio from a Quorvel frame server and writes Y4M (or raw "
      "YUY2) and WAV.",
      kProgram};
  Options options;
  add_options(app, options);
  if (const int code = quorvel::apps::parse_command_line(app, argc, argv, kProgram); code >= 0)
    return code;
  install_stop_handlers();
  return fetch(options, closed.output);
}
