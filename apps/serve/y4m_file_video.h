// Y4mFileVideo: a YUV4MPEG2 file as the stand-in host's video. Its frames are indexed once (each
// FRAME line may carry its own tags), and every requested frame converted to packed YUY2: 4:2:2 as
// it is, 4:2:0 by repeating each chroma row for the two rows it covers, 4:4:4 by averaging each
// horizontal pair of chroma samples, mono with neutral chroma. Each frame is read from the file as
// it is asked for. 8-bit samples only; the frame rate comes from the F tag, the field order the
// caller may announce from the I tag.
#ifndef QUORVEL_APPS_SERVE_Y4M_FILE_VIDEO_H_
#define QUORVEL_APPS_SERVE_Y4M_FILE_VIDEO_H_

#include <memory>
#include <string>
#include <vector>

#include "apps/serve/input_file.h"
#include "apps/serve/media_source.h"

namespace quorvel::serve {

enum class Y4mChroma { k420, k422, k444, kMono };

// The header's I tag: how the file says its frames were scanned. kUnknown covers both a
// missing tag and "I?"; kMixed ("Im") leaves it to each frame, which we do not follow.
enum class Y4mInterlace { kUnknown, kProgressive, kTopFieldFirst, kBottomFieldFirst, kMixed };

struct Y4mHeader {
  int32_t width = 0;
  int32_t height = 0;
  uint32_t rate = 0;  // 0:0 (or no F tag) when the file does not say
  uint32_t scale = 0;
  Y4mChroma chroma = Y4mChroma::k420;  // the format's default
  Y4mInterlace interlace = Y4mInterlace::kUnknown;
};

// Parses the stream header line (without its newline). False (and *problem) for a line
// that is not YUV4MPEG2, lacks a size, or has a chroma format other than 8-bit
// 420*/422/444/mono.
bool parse_y4m_header(const std::string& line, Y4mHeader* header, std::string* problem);

class Y4mFileVideo : public VideoSource {
 public:
  // Null (and *error) when the file cannot be used. fallback_rate/scale apply when the
  // header gives no rate.
  static std::unique_ptr<Y4mFileVideo> open(const std::string& path, uint32_t fallback_rate,
                                            uint32_t fallback_scale, std::string* error);
  // The same from bytes in memory (how the fuzz target feeds the parser).
  // REQUIRES: the bytes outlive the source.
  static std::unique_ptr<Y4mFileVideo> from_bytes(const uint8_t* data, uint64_t size,
                                                  uint32_t fallback_rate, uint32_t fallback_scale,
                                                  std::string* problem);

  const VideoFormat& format() const override { return format_; }
  // The stream header's field order; FRAME lines' own I tags are not read.
  Y4mInterlace interlace() const { return header_.interlace; }
  // The header's frame rate, or none (no F tag, or F0:0): the fallback is served.
  bool says_rate() const { return header_.rate > 0 && header_.scale > 0; }
  // The bytes of a last frame that the file cuts off (left out of the stream); 0 for none.
  uint64_t cut_frame_bytes() const { return cut_frame_bytes_; }
  // The bytes of one frame's planes.
  uint64_t frame_bytes() const { return frame_bytes_; }
  // False (and *problem: the file was cut, and where) when the file no longer holds frame n.
  bool render(int32_t n, uint8_t* yuy2, std::string* problem) override;

 private:
  Y4mFileVideo() = default;
  bool parse(uint32_t fallback_rate, uint32_t fallback_scale, std::string* problem);
  bool index_frames(uint64_t first_frame, std::string* error);
  // The line from offset to its newline (not included), if one comes within kMaxLineBytes.
  bool read_line(uint64_t offset, std::string* line) const;

  // Rows first_row to end_row (not included) of a frame, and the chroma rows they use.
  struct Band {
    uint64_t first_row = 0;
    uint64_t end_row = 0;
    uint64_t first_chroma_row = 0;
    uint64_t end_chroma_row = 0;  // as many as first_chroma_row for mono
  };
  uint64_t chroma_row_of(uint64_t row) const;
  Band band_at(uint64_t first_row, uint64_t end_row) const;
  // The band's luma, Cb and Cr rows of the frame at frame_offset into band_.
  bool read_band(uint64_t frame_offset, const Band& band);
  // The band in band_ into its rows of packed YUY2.
  void convert_band(const Band& band, uint8_t* yuy2) const;
  // One row: its luma, the chroma row it uses (unused for mono) into width / 2 pairs.
  void convert_row(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* out) const;

  InputFile file_;
  Y4mHeader header_;
  VideoFormat format_;
  uint64_t chroma_width_ = 0;
  uint64_t chroma_height_ = 0;
  uint64_t frame_bytes_ = 0;
  std::vector<uint64_t> frame_offsets_;  // first plane byte of each frame
  uint64_t cut_frame_bytes_ = 0;
  uint64_t band_rows_ = 0;     // even
  std::vector<uint8_t> band_;  // the planes' rows of the band being converted
};

}  // namespace quorvel::serve

#endif  // QUORVEL_APPS_SERVE_Y4M_FILE_VIDEO_H_
