// quorvel-fetch: receives a stream from a frame server and writes Y4M (or raw YUY2) video
// and WAV audio. Exit codes: 0 done (also when the reader of an output closed it early),
// 1 failure (connection refused or lost, malformed reply), 2 usage.
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <string>

#include "apps/common/command_line.h"
#include "apps/fetch/client_socket.h"
#include "apps/fetch/compression_choice.h"
#include "apps/fetch/delivery_client.h"
#include "apps/fetch/fetch_job.h"
#include "apps/fetch/server_address.h"

namespace {

using namespace quorvel::client;
using quorvel::apps::kExitFailure;
using quorvel::apps::kExitOk;
using quorvel::apps::kExitUsage;

constexpr char kProgram[] = "quorvel-fetch";

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
  double timeout_seconds = 0;
};

void add_options(CLI::App& app, Options& options) {
  app.add_option("server", options.server,
                 "HOST[:PORT] of the frame server (port 22050 by default)")
      ->required();
  app.add_option("-o,--output", options.output, "video output file, - for standard output");
  app.add_flag("--raw", options.raw, "write packed YUY2 frames instead of Y4M");
  app.add_option("--audio-out", options.audio_output,
                 "audio output file (WAV), - for standard output");
  app.add_option("--frames", options.frames,
                 "frames A-B, A- or N (default: all) and the audio during them");
  app.add_option("--field-order", options.field_order,
                 "auto, progressive, tff or bff (Y4M interlace tag)")
      ->check(CLI::IsMember({"auto", "progressive", "tff", "bff"}));
  app.add_option("--compression", options.compression, "none, lzo, fano, deflate or auto")
      ->check(CLI::IsMember({"none", "lzo", "fano", "deflate", "auto"}));
  app.add_flag("--progress", options.progress,
               "show the progress line even when stderr is no terminal");
  app.add_flag("-q,--quiet", options.quiet, "print nothing but errors");
  app.add_option("--depth", options.requests_ahead,
                 "requests sent ahead of the replies, so the server always finds the next "
                 "one waiting; 1 waits for each reply")
      ->check(CLI::Range(1, 64))
      ->capture_default_str();
  app.add_option("--timeout", options.timeout_seconds,
                 "give up when the server does not answer (or accept the connection) this long "
                 "(seconds, 0 = never)")
      ->check(CLI::NonNegativeNumber);
  app.set_version_flag("--version", std::string(kProgram) + " " + QUORVEL_VERSION);
}

int usage_error(const std::string& message) {
  std::fprintf(stderr, "%s: %s\n", kProgram, message.c_str());
  return kExitUsage;
}

void print_notice(void* /*context*/, const std::string& text) {
  std::fprintf(stderr, "%s: %s\n", kProgram, text.c_str());
}

// Checks the options that CLI11 cannot, and fills the plan.
int make_plan(const Options& options, FetchPlan* plan, ServerAddress* address) {
  if (!parse_server_address(options.server, address))
    return usage_error("bad server address '" + options.server + "'");
  if (options.output.empty() && options.audio_output.empty())
    return usage_error("nothing to write: give -o and/or --audio-out");
  if (options.output == "-" && options.audio_output == "-")
    return usage_error("video and audio cannot both go to standard output");
  if (options.raw && options.output.empty()) return usage_error("--raw needs -o");
  if ((options.output == "-" || options.audio_output == "-") && isatty(STDOUT_FILENO) != 0) {
    return usage_error("refusing to write media to a terminal; redirect or pipe standard output");
  }
  if (!options.frames.empty()) {
    if (!parse_frame_range(options.frames, &plan->frames))
      return usage_error("bad --frames '" + options.frames + "' (A-B, A- or N)");
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
  return kExitOk;
}

int fetch(const Options& options) {
  FetchPlan plan;
  ServerAddress address;
  if (const int code = make_plan(options, &plan, &address); code != kExitOk) return code;

  // Created by the fetch once the first frame is in: a failed run leaves earlier files alone.
  OutputFile video(options.output);
  OutputFile audio(options.audio_output);

  DeliveryClient client;
  if (!client.connect(address.host, address.port,
                      timeout_ms_from_seconds(options.timeout_seconds))) {
    std::fprintf(stderr, "%s: %s\n", kProgram, client.error().c_str());
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
  if (!outcome.ok) {
    std::fprintf(stderr, "%s: %s\n", kProgram, outcome.error.c_str());
    return kExitFailure;
  }
  if (video.close() == WriteResult::kError || audio.close() == WriteResult::kError) {
    std::fprintf(stderr, "%s: cannot finish writing the output: %s%s\n", kProgram,
                 video.last_error().c_str(), audio.last_error().c_str());
    return kExitFailure;
  }
  if (outcome.reader_closed && !options.quiet) {
    std::fprintf(stderr, "%s: the output was closed after %lld frames; stopped\n", kProgram,
                 static_cast<long long>(outcome.frames_written));
  }
  return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
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
  return fetch(options);
}
