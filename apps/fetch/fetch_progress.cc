#include "apps/fetch/fetch_progress.h"

namespace quorvel::client {

namespace {

constexpr auto kPrintInterval = std::chrono::milliseconds(250);

std::string clock_text(int64_t seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
  return text;
}

}  // namespace

FetchProgress::FetchProgress(bool enabled, std::FILE* out)
    : enabled_(enabled), out_(out), start_(Clock::now()), last_print_(start_) {}

void FetchProgress::start(int64_t total_frames) {
  total_frames_ = total_frames;
  start_ = Clock::now();
  last_print_ = start_;
}

std::string FetchProgress::format_line(int64_t frames_done, int64_t total_frames, double seconds,
                                       uint64_t bytes_received) {
  const double percent = total_frames > 0 ? 100.0 * static_cast<double>(frames_done) /
                                                static_cast<double>(total_frames)
                                          : 100.0;
  const double fps = seconds > 0 ? static_cast<double>(frames_done) / seconds : 0.0;
  const double megabytes_per_second =
      seconds > 0 ? static_cast<double>(bytes_received) / 1e6 / seconds : 0.0;
  const int64_t left = total_frames - frames_done;
  std::string eta = "-:--:--";
  if (fps > 0 && left >= 0)
    eta = clock_text(static_cast<int64_t>(static_cast<double>(left) / fps + 0.5));
  char line[160];
  std::snprintf(line, sizeof line, "[%5.1f%%] %lld/%lld frames, %.2f fps, %.2f MB/s, eta %s",
                percent, static_cast<long long>(frames_done), static_cast<long long>(total_frames),
                fps, megabytes_per_second, eta.c_str());
  return line;
}

void FetchProgress::print(int64_t frames_done, uint64_t bytes_received) {
  const double seconds = std::chrono::duration<double>(Clock::now() - start_).count();
  std::fprintf(out_, "\r%s",
               format_line(frames_done, total_frames_, seconds, bytes_received).c_str());
  std::fflush(out_);
  printed_ = true;
}

void FetchProgress::update(int64_t frames_done, uint64_t bytes_received) {
  if (!enabled_ || finished_) return;
  const Clock::time_point now = Clock::now();
  if (printed_ && now - last_print_ < kPrintInterval) return;
  last_print_ = now;
  print(frames_done, bytes_received);
}

void FetchProgress::finish(int64_t frames_done, uint64_t bytes_received) {
  if (!enabled_ || finished_) return;
  finished_ = true;
  print(frames_done, bytes_received);
  std::fputc('\n', out_);
  std::fflush(out_);
}

}  // namespace quorvel::client
