// The named frames quorvel-bench measures: real-looking footage made by
// scripts/make-bench-frames.sh (camera and detailed illustration, at 720x480 and 1920x1080)
// and synthetic flat, gradient and noise frames made here, the same bytes on every run.
#ifndef QUORVEL_BENCH_BENCH_FRAME_H_
#define QUORVEL_BENCH_BENCH_FRAME_H_

#include <cstdint>
#include <string>
#include <vector>

namespace quorvel::bench {

// One packed YUY2 frame: height rows of width * 2 bytes, no gap between rows.
struct BenchFrame {
  std::string name;    // e.g. "cam_1920x1080", "noise_720x480"
  std::string source;  // where the bytes came from, printed next to the name
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> bytes;
  bool from_file = false;  // read from frame_file(), so another program can read it too

  int32_t row_bytes() const { return width * 2; }
  int32_t size() const { return static_cast<int32_t>(bytes.size()); }
  bool is_1080p() const { return width == 1920 && height == 1080; }
};

// Makes the frame of that name: a synthetic kind ("flat", "gradient", "noise") at any
// The file of a real frame: NAME.yuy2 in frames_dir.
std::string frame_file(const std::string& frames_dir, const std::string& name);

// "KIND_WxH", or a file NAME.yuy2 from frames_dir (listed with its source in frames.txt).
// Returns false and says why in *problem when the name is unknown or the file is missing
// or of the wrong size.
bool make_frame(const std::string& name, const std::string& frames_dir, BenchFrame* frame,
                std::string* problem);

// Makes every named frame, printing each with its source, or why it is missing; the run
// goes on without the missing ones.
std::vector<BenchFrame> load_frames(const std::vector<std::string>& names,
                                    const std::string& frames_dir);

// Names of the frames of one run, real ones first. The quick run keeps the frames the
// targets are judged on (1080p) and the real 720x480 pair.
std::vector<std::string> frame_names(bool quick);

}  // namespace quorvel::bench

#endif  // QUORVEL_BENCH_BENCH_FRAME_H_
