#include "apps/serve/y4m_file_video.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace quorvel::serve {

namespace {

constexpr char kMagic[] = "YUV4MPEG2";
constexpr char kFrameMagic[] = "FRAME";
// Longest header or FRAME line we look through for its newline.
constexpr uint64_t kMaxLineBytes = 4096;
constexpr int32_t kMaxDimension = 16384;

bool parse_number(const std::string& text, int64_t* value) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
  errno = 0;
  *value = std::strtoll(text.c_str(), nullptr, 10);
  return errno == 0;
}

bool parse_rate(const std::string& text, uint32_t* rate, uint32_t* scale) {
  const size_t colon = text.find(':');
  int64_t numerator = 0;
  int64_t denominator = 0;
  if (colon == std::string::npos || !parse_number(text.substr(0, colon), &numerator) ||
      !parse_number(text.substr(colon + 1), &denominator) || numerator > UINT32_MAX ||
      denominator > UINT32_MAX) {
    return false;
  }
  *rate = static_cast<uint32_t>(numerator);
  *scale = static_cast<uint32_t>(denominator);
  return true;
}

bool parse_chroma(const std::string& text, Y4mChroma* chroma) {
  // The 8-bit names only: 420p10, 422p12 and the like carry wider samples.
  if (text == "420" || text == "420jpeg" || text == "420mpeg2" || text == "420paldv") {
    *chroma = Y4mChroma::k420;
  } else if (text == "422") {
    *chroma = Y4mChroma::k422;
  } else if (text == "444") {
    *chroma = Y4mChroma::k444;
  } else if (text == "mono") {
    *chroma = Y4mChroma::kMono;
  } else {
    return false;
  }
  return true;
}

// An I value we do not know says no more than "I?" does.
Y4mInterlace interlace_of(const std::string& text) {
  if (text == "p") return Y4mInterlace::kProgressive;
  if (text == "t") return Y4mInterlace::kTopFieldFirst;
  if (text == "b") return Y4mInterlace::kBottomFieldFirst;
  if (text == "m") return Y4mInterlace::kMixed;
  return Y4mInterlace::kUnknown;
}

uint8_t average(uint8_t a, uint8_t b) {
  return static_cast<uint8_t>((a + b + 1) / 2);
}

// Finds the newline of the line starting at offset; false when there is none near.
// REQUIRES: offset <= size.
bool line_end(const uint8_t* data, uint64_t size, uint64_t offset, uint64_t* end) {
  const uint64_t limit = offset + std::min(size - offset, kMaxLineBytes);
  for (uint64_t i = offset; i < limit; ++i) {
    if (data[i] == '\n') {
      *end = i;
      return true;
    }
  }
  return false;
}

}  // namespace

bool parse_y4m_header(const std::string& line, Y4mHeader* header, std::string* problem) {
  std::istringstream words(line);
  std::string word;
  if (!(words >> word) || word != kMagic) {
    *problem = "not a YUV4MPEG2 file";
    return false;
  }
  Y4mHeader parsed;
  while (words >> word) {
    const char tag = word[0];
    const std::string value = word.substr(1);
    int64_t number = 0;
    if (tag == 'W' || tag == 'H') {
      if (!parse_number(value, &number) || number <= 0 || number > kMaxDimension) {
        *problem = "bad frame size tag " + word;
        return false;
      }
      (tag == 'W' ? parsed.width : parsed.height) = static_cast<int32_t>(number);
    } else if (tag == 'F') {
      if (!parse_rate(value, &parsed.rate, &parsed.scale)) {
        *problem = "bad frame rate tag " + word;
        return false;
      }
    } else if (tag == 'C') {
      if (!parse_chroma(value, &parsed.chroma)) {
        *problem = "unsupported chroma format " + value + " (8-bit 420, 422, 444 or mono)";
        return false;
      }
    } else if (tag == 'I') {
      parsed.interlace = interlace_of(value);
    }
    // A and X tags do not change the frames we hand out.
  }
  if (parsed.width == 0 || parsed.height == 0) {
    *problem = "the header gives no frame size";
    return false;
  }
  *header = parsed;
  return true;
}

std::unique_ptr<Y4mFileVideo> Y4mFileVideo::open(const std::string& path, uint32_t fallback_rate,
                                                 uint32_t fallback_scale, std::string* error) {
  std::unique_ptr<Y4mFileVideo> video(new Y4mFileVideo());
  if (!video->file_.open(path, error)) return nullptr;
  video->bytes_ = video->file_.data();
  video->size_ = video->file_.size();
  std::string problem;
  if (!video->parse(fallback_rate, fallback_scale, &problem)) {
    *error = path + ": " + problem;
    return nullptr;
  }
  return video;
}

std::unique_ptr<Y4mFileVideo> Y4mFileVideo::from_bytes(const uint8_t* data, uint64_t size,
                                                       uint32_t fallback_rate,
                                                       uint32_t fallback_scale,
                                                       std::string* problem) {
  std::unique_ptr<Y4mFileVideo> video(new Y4mFileVideo());
  video->bytes_ = data;
  video->size_ = size;
  if (!video->parse(fallback_rate, fallback_scale, problem)) return nullptr;
  return video;
}

bool Y4mFileVideo::parse(uint32_t fallback_rate, uint32_t fallback_scale, std::string* problem) {
  uint64_t header_end = 0;
  if (!line_end(bytes_, size_, 0, &header_end)) {
    *problem = "not a YUV4MPEG2 file";
    return false;
  }
  const std::string line(reinterpret_cast<const char*>(bytes_), static_cast<size_t>(header_end));
  if (!parse_y4m_header(line, &header_, problem)) return false;
  if (header_.width % 2 != 0) {
    *problem = "odd width " + std::to_string(header_.width) + " cannot be served as YUY2";
    return false;
  }
  if (!index_frames(header_end + 1, problem)) return false;
  const bool has_rate = header_.rate > 0 && header_.scale > 0;
  format_ = {header_.width, header_.height, has_rate ? header_.rate : fallback_rate,
             has_rate ? header_.scale : fallback_scale,
             static_cast<int32_t>(frame_offsets_.size())};
  return true;
}

bool Y4mFileVideo::index_frames(uint64_t first_frame, std::string* error) {
  const uint64_t width = static_cast<uint64_t>(header_.width);
  const uint64_t height = static_cast<uint64_t>(header_.height);
  switch (header_.chroma) {
    case Y4mChroma::k420:
      chroma_width_ = (width + 1) / 2;
      chroma_height_ = (height + 1) / 2;
      break;
    case Y4mChroma::k422:
      chroma_width_ = (width + 1) / 2;
      chroma_height_ = height;
      break;
    case Y4mChroma::k444:
      chroma_width_ = width;
      chroma_height_ = height;
      break;
    case Y4mChroma::kMono:
      chroma_width_ = 0;
      chroma_height_ = 0;
      break;
  }
  frame_bytes_ = width * height + 2 * chroma_width_ * chroma_height_;
  for (uint64_t offset = first_frame; offset < size_;) {
    uint64_t end = 0;
    if (size_ - offset < sizeof kFrameMagic - 1 ||
        std::memcmp(bytes_ + offset, kFrameMagic, sizeof kFrameMagic - 1) != 0 ||
        !line_end(bytes_, size_, offset, &end)) {
      *error = "frame " + std::to_string(frame_offsets_.size()) + " has no FRAME header";
      return false;
    }
    if (size_ - (end + 1) < frame_bytes_) break;  // a cut-off last frame is left out
    frame_offsets_.push_back(end + 1);
    if (frame_offsets_.size() == static_cast<uint64_t>(INT32_MAX)) break;
    offset = end + 1 + frame_bytes_;
  }
  if (frame_offsets_.empty()) {
    *error = "the file holds no whole frame";
    return false;
  }
  return true;
}

void Y4mFileVideo::render(int32_t n, uint8_t* yuy2) {
  const size_t width = static_cast<size_t>(header_.width);
  const size_t height = static_cast<size_t>(header_.height);
  const uint8_t* luma = bytes_ + frame_offsets_[static_cast<size_t>(n)];
  const uint8_t* cb = luma + width * height;
  const uint8_t* cr = cb + chroma_width_ * chroma_height_;
  for (size_t row = 0; row < height; ++row) {
    const uint8_t* y_line = luma + row * width;
    uint8_t* out = yuy2 + row * width * 2;
    const size_t chroma_row = header_.chroma == Y4mChroma::k420 ? row / 2 : row;
    const uint8_t* cb_line = cb + chroma_row * chroma_width_;
    const uint8_t* cr_line = cr + chroma_row * chroma_width_;
    for (size_t pair = 0; pair < width / 2; ++pair) {
      uint8_t u = 128;
      uint8_t v = 128;
      if (header_.chroma == Y4mChroma::k444) {
        u = average(cb_line[2 * pair], cb_line[2 * pair + 1]);
        v = average(cr_line[2 * pair], cr_line[2 * pair + 1]);
      } else if (header_.chroma != Y4mChroma::kMono) {
        u = cb_line[pair];
        v = cr_line[pair];
      }
      out[4 * pair] = y_line[2 * pair];
      out[4 * pair + 1] = u;
      out[4 * pair + 2] = y_line[2 * pair + 1];
      out[4 * pair + 3] = v;
    }
  }
}

}  // namespace quorvel::serve
