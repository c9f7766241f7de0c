#include "apps/serve/y4m_file_video.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <sstream>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quorvel::serve {

namespace {

constexpr char kMagic[] = "YUV4MPEG2";
constexpr char kFrameMagic[] = "FRAME";
// Longest header or FRAME line we look through for its newline; FRAME lines are read with a
// short read first, since they seldom carry tags.
constexpr uint64_t kMaxLineBytes = 4096;
constexpr uint64_t kShortLineBytes = 64;
// The planes of a frame are read and converted a band of rows at a time, small enough that
// the band is still in the cache when it is converted.
constexpr uint64_t kBandBytes = 256 * 1024;
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

// One pair of pixels as YUY2: Y0 U Y1 V.
void put_pair(const uint8_t* y, uint8_t u, uint8_t v, uint8_t* out) {
  out[0] = y[0];
  out[1] = u;
  out[2] = y[1];
  out[3] = v;
}

#if defined(__SSE2__)
// 16 pairs at a time: the Cb and Cr bytes interleaved, then each Cb Cr pair with its two
// luma bytes. Returns the pairs done; the caller does the rest.
size_t interleave_pairs_sse2(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, size_t pairs,
                             uint8_t* out) {
  size_t pair = 0;
  for (; pairs - pair >= 16; pair += 16) {
    const __m128i y_low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y + 2 * pair));
    const __m128i y_high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y + 2 * pair + 16));
    const __m128i u = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cb + pair));
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cr + pair));
    const __m128i uv_low = _mm_unpacklo_epi8(u, v);
    const __m128i uv_high = _mm_unpackhi_epi8(u, v);
    __m128i* to = reinterpret_cast<__m128i*>(out + 4 * pair);
    _mm_storeu_si128(to, _mm_unpacklo_epi8(y_low, uv_low));
    _mm_storeu_si128(to + 1, _mm_unpackhi_epi8(y_low, uv_low));
    _mm_storeu_si128(to + 2, _mm_unpacklo_epi8(y_high, uv_high));
    _mm_storeu_si128(to + 3, _mm_unpackhi_epi8(y_high, uv_high));
  }
  return pair;
}
#endif

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
  video->file_.use_bytes(data, size);
  if (!video->parse(fallback_rate, fallback_scale, problem)) return nullptr;
  return video;
}

bool Y4mFileVideo::read_line(uint64_t offset, std::string* line) const {
  const uint64_t size = file_.size();
  if (offset >= size) return false;
  for (const uint64_t wanted : {kShortLineBytes, kMaxLineBytes}) {
    const uint64_t length = std::min(size - offset, wanted);
    line->resize(static_cast<size_t>(length));
    if (!file_.read(offset, length, reinterpret_cast<uint8_t*>(line->data()))) return false;
    const size_t newline = line->find('\n');
    if (newline != std::string::npos) {
      line->resize(newline);
      return true;
    }
    if (length < wanted) return false;  // the file ends first
  }
  return false;
}

bool Y4mFileVideo::parse(uint32_t fallback_rate, uint32_t fallback_scale, std::string* problem) {
  std::string line;
  if (!read_line(0, &line)) {
    *problem = "not a YUV4MPEG2 file";
    return false;
  }
  if (!parse_y4m_header(line, &header_, problem)) return false;
  if (header_.width % 2 != 0) {
    *problem = "odd width " + std::to_string(header_.width) + " cannot be served as YUY2";
    return false;
  }
  if (!index_frames(line.size() + 1, problem)) return false;
  format_ = {header_.width, header_.height, says_rate() ? header_.rate : fallback_rate,
             says_rate() ? header_.scale : fallback_scale,
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
  const uint64_t size = file_.size();
  std::string line;
  for (uint64_t offset = first_frame; offset < size;) {
    if (!read_line(offset, &line) || line.compare(0, sizeof kFrameMagic - 1, kFrameMagic) != 0) {
      *error = "frame " + std::to_string(frame_offsets_.size()) + " has no FRAME header";
      return false;
    }
    const uint64_t planes = offset + line.size() + 1;
    if (size - planes < frame_bytes_) {
      cut_frame_bytes_ = size - offset;  // a cut-off last frame is left out
      break;
    }
    frame_offsets_.push_back(planes);
    if (frame_offsets_.size() == static_cast<uint64_t>(INT32_MAX)) break;
    offset = planes + frame_bytes_;
  }
  if (frame_offsets_.empty()) {
    *error = "the file holds no whole frame";
    return false;
  }
  // An even number of rows per band, so that a 4:2:0 chroma row never spans two bands.
  const uint64_t row_bytes = width + 2 * chroma_width_;
  band_rows_ = std::max<uint64_t>(2, kBandBytes / row_bytes & ~uint64_t{1});
  const Band first = band_at(0, std::min(height, band_rows_));
  band_.resize(
      static_cast<size_t>((first.end_row - first.first_row) * width +
                          2 * (first.end_chroma_row - first.first_chroma_row) * chroma_width_));
  return true;
}

bool Y4mFileVideo::render(int32_t n, uint8_t* yuy2, std::string* problem) {
  const uint64_t offset = frame_offsets_[static_cast<size_t>(n)];
  const uint64_t height = static_cast<uint64_t>(header_.height);
  for (uint64_t row = 0; row < height; row += band_rows_) {
    const Band band = band_at(row, std::min(height, row + band_rows_));
    if (!read_band(offset, band)) {
      if (problem != nullptr) {
        *problem = file_.path() + " was cut to " + std::to_string(file_.current_size()) +
                   " bytes while served (frame " + std::to_string(n) + " needs " +
                   std::to_string(offset + frame_bytes_) + ")";
      }
      return false;
    }
    convert_band(band, yuy2);
  }
  return true;
}

uint64_t Y4mFileVideo::chroma_row_of(uint64_t row) const {
  return header_.chroma == Y4mChroma::k420 ? row / 2 : row;
}

Y4mFileVideo::Band Y4mFileVideo::band_at(uint64_t first_row, uint64_t end_row) const {
  Band band;
  band.first_row = first_row;
  band.end_row = end_row;
  if (chroma_height_ > 0) {
    band.first_chroma_row = chroma_row_of(first_row);
    band.end_chroma_row = chroma_row_of(end_row - 1) + 1;
  }
  return band;
}

bool Y4mFileVideo::read_band(uint64_t frame_offset, const Band& band) {
  const uint64_t width = static_cast<uint64_t>(header_.width);
  const uint64_t luma_plane = width * static_cast<uint64_t>(header_.height);
  const uint64_t chroma_plane = chroma_width_ * chroma_height_;
  const uint64_t luma = (band.end_row - band.first_row) * width;
  const uint64_t chroma = (band.end_chroma_row - band.first_chroma_row) * chroma_width_;
  uint8_t* out = band_.data();
  uint8_t* cb = out + static_cast<size_t>(luma);
  uint8_t* cr = cb + static_cast<size_t>(chroma);
  const uint64_t chroma_offset = band.first_chroma_row * chroma_width_;
  return file_.read(frame_offset + band.first_row * width, luma, out) &&
         file_.read(frame_offset + luma_plane + chroma_offset, chroma, cb) &&
         file_.read(frame_offset + luma_plane + chroma_plane + chroma_offset, chroma, cr);
}

void Y4mFileVideo::convert_band(const Band& band, uint8_t* yuy2) const {
  // Rows, widths and offsets within one frame, which fits in memory: size_t holds them.
  const auto width = static_cast<size_t>(header_.width);
  const auto chroma_width = static_cast<size_t>(chroma_width_);
  const auto first_row = static_cast<size_t>(band.first_row);
  const auto first_chroma_row = static_cast<size_t>(band.first_chroma_row);
  const uint8_t* luma = band_.data();
  const uint8_t* cb = luma + (static_cast<size_t>(band.end_row) - first_row) * width;
  const uint8_t* cr =
      cb + (static_cast<size_t>(band.end_chroma_row) - first_chroma_row) * chroma_width;
  for (size_t row = first_row; row < band.end_row; ++row) {
    const size_t chroma_row = static_cast<size_t>(chroma_row_of(row)) - first_chroma_row;
    convert_row(luma + (row - first_row) * width, cb + chroma_row * chroma_width,
                cr + chroma_row * chroma_width, yuy2 + row * width * 2);
  }
}

void Y4mFileVideo::convert_row(const uint8_t* y, const uint8_t* cb, const uint8_t* cr,
                               uint8_t* out) const {
  const auto pairs = static_cast<size_t>(header_.width) / 2;
  size_t pair = 0;
  switch (header_.chroma) {
    case Y4mChroma::k420:
    case Y4mChroma::k422:
#if defined(__SSE2__)
      pair = interleave_pairs_sse2(y, cb, cr, pairs, out);
#endif
      for (; pair < pairs; ++pair) put_pair(y + 2 * pair, cb[pair], cr[pair], out + 4 * pair);
      break;
    case Y4mChroma::k444:
      for (; pair < pairs; ++pair) {
        put_pair(y + 2 * pair, average(cb[2 * pair], cb[2 * pair + 1]),
                 average(cr[2 * pair], cr[2 * pair + 1]), out + 4 * pair);
      }
      break;
    case Y4mChroma::kMono:
      for (; pair < pairs; ++pair) put_pair(y + 2 * pair, 128, 128, out + 4 * pair);
      break;
  }
}

}  // namespace quorvel::serve
