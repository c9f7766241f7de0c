#include "apps/serve/serve_progress.h"

namespace quorvel::serve {

namespace {

constexpr auto kPrintInterval = std::chrono::milliseconds(250);

void forward(void* context, int32_t frame_number, int32_t frame_count) {
  static_cast<ServeProgress*>(context)->on_frame(frame_number, frame_count);
}

}  // namespace

ServeProgress::ServeProgress(bool enabled, const char* program, std::FILE* out)
    : enabled_(enabled), program_(program), out_(out), listener_{&forward, this} {}

void ServeProgress::on_frame(int32_t frame_number, int32_t frame_count) {
  if (!enabled_) return;
  const Clock::time_point now = Clock::now();
  if (frames_++ == 0) start_ = now;
  last_frame_ = now;
  frame_number_ = frame_number;
  frame_count_ = frame_count;
  if (printed_ && now - last_print_ < kPrintInterval) return;
  last_print_ = now;
  print();
}

void ServeProgress::end_run() {
  if (printed_) {
    // The last frames of a run usually fall between two prints: show where it ended.
    print();
    std::fputc('\n', out_);
  }
  printed_ = false;
  frames_ = 0;
}

void ServeProgress::print() {
  const double seconds = std::chrono::duration<double>(last_frame_ - start_).count();
  const double fps = seconds > 0 ? static_cast<double>(frames_ - 1) / seconds : 0.0;
  // Counted from 1, as a reader counts: the last frame of 300 is "frame 300 of 300", not 299.
  std::fprintf(out_, "\r%s: frame %lld of %d, %.1f fps   ", program_,
               static_cast<long long>(frame_number_) + 1, frame_count_, fps);
  std::fflush(out_);
  printed_ = true;
}

}  // namespace quorvel::serve
