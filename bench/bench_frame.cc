#include "bench/bench_frame.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>

namespace quorvel::bench {

namespace {

// Mid grey in YUY2 (Y = U = V = 128 gives a neutral grey).
void fill_flat(BenchFrame* frame) {
  frame->bytes.assign(frame->bytes.size(), 0x80);
}

// A smooth diagonal ramp in luma and slower ramps in chroma: deltas stay small and regular.
void fill_gradient(BenchFrame* frame) {
  for (int32_t y = 0; y < frame->height; ++y) {
    uint8_t* row = frame->bytes.data() + static_cast<size_t>(y) * frame->row_bytes();
    for (int32_t x = 0; x < frame->row_bytes(); ++x) {
      const int32_t pixel = x / 2;
      const bool luma = (x % 2) == 0;
      const int32_t value = luma ? (pixel + y) / 4 : (x % 4 == 1 ? pixel / 8 : y / 4);
      row[x] = static_cast<uint8_t>(value);
    }
  }
}

// xorshift64*: every byte independent and uniform, so no coder can shrink the frame.
void fill_noise(BenchFrame* frame) {
  uint64_t state = 0x9E3779B97F4A7C15ull;
  for (uint8_t& byte : frame->bytes) {
    state ^= state >> 12;
    state ^= state << 25;
    state ^= state >> 27;
    byte = static_cast<uint8_t>((state * 0x2545F4914F6CDD1Dull) >> 56);
  }
}

bool parse_size(const std::string& text, int32_t* width, int32_t* height) {
  int w = 0;
  int h = 0;
  char tail = 0;
  if (std::sscanf(text.c_str(), "%dx%d%c", &w, &h, &tail) != 2) return false;
  if (w <= 0 || h <= 0 || w % 8 != 0 || w > 8192 || h > 8192) return false;
  *width = w;
  *height = h;
  return true;
}

// The source line of frames.txt for this frame: "NAME WIDTH HEIGHT SOURCE...".
std::string listed_source(const std::string& frames_dir, const std::string& name) {
  std::ifstream manifest(frames_dir + "/frames.txt");
  std::string line;
  while (std::getline(manifest, line)) {
    std::istringstream fields(line);
    std::string listed_name, width, height, source;
    fields >> listed_name >> width >> height;
    std::getline(fields >> std::ws, source);
    if (listed_name == name) return source;
  }
  return "file";
}

}  // namespace

std::string frame_file(const std::string& frames_dir, const std::string& name) {
  return frames_dir + "/" + name + ".yuy2";
}

namespace {

bool load_file(const std::string& frames_dir, BenchFrame* frame, std::string* problem) {
  const std::string path = frame_file(frames_dir, frame->name);
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    *problem =
        "missing " + path + " (make it with scripts/make-bench-frames.sh " + frames_dir + ")";
    return false;
  }
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                             std::istreambuf_iterator<char>());
  if (bytes.size() != frame->bytes.size()) {
    *problem = path + " has " + std::to_string(bytes.size()) + " bytes, expected " +
               std::to_string(frame->bytes.size());
    return false;
  }
  frame->bytes = std::move(bytes);
  frame->source = listed_source(frames_dir, frame->name);
  frame->from_file = true;
  return true;
}

}  // namespace

bool make_frame(const std::string& name, const std::string& frames_dir, BenchFrame* frame,
                std::string* problem) {
  const size_t separator = name.find('_');
  if (separator == std::string::npos ||
      !parse_size(name.substr(separator + 1), &frame->width, &frame->height)) {
    *problem = "frame name " + name + " is not KIND_WIDTHxHEIGHT";
    return false;
  }
  frame->name = name;
  frame->bytes.assign(static_cast<size_t>(frame->row_bytes()) * static_cast<size_t>(frame->height),
                      0);
  const std::string kind = name.substr(0, separator);
  frame->source = "synthetic";
  if (kind == "flat") {
    fill_flat(frame);
  } else if (kind == "gradient") {
    fill_gradient(frame);
  } else if (kind == "noise") {
    fill_noise(frame);
  } else if (kind == "cam" || kind == "art") {
    return load_file(frames_dir, frame, problem);
  } else {
    *problem = "unknown frame kind " + kind;
    return false;
  }
  return true;
}

std::vector<BenchFrame> load_frames(const std::vector<std::string>& names,
                                    const std::string& frames_dir) {
  std::vector<BenchFrame> frames;
  std::printf("frames (from %s):\n", frames_dir.c_str());
  for (const std::string& name : names) {
    BenchFrame frame;
    std::string problem;
    if (!make_frame(name, frames_dir, &frame, &problem)) {
      std::printf("  %-20s MISSING: %s\n", name.c_str(), problem.c_str());
      continue;
    }
    std::printf("  %-20s %s\n", name.c_str(), frame.source.c_str());
    frames.push_back(std::move(frame));
  }
  return frames;
}

std::vector<std::string> frame_names(bool quick) {
  std::vector<std::string> names = {"cam_720x480",    "art_720x480",    "cam_1920x1080",
                                    "art_1920x1080",  "flat_1920x1080", "gradient_1920x1080",
                                    "noise_1920x1080"};
  if (!quick) {
    names.insert(names.begin() + 2, {"flat_720x480", "gradient_720x480", "noise_720x480"});
  }
  return names;
}

}  // namespace quorvel::bench
